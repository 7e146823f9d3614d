#pragma once

#include "media/server/AudioOutput.h"

#include <QByteArray>

#include <pulse/sample.h>

#include <functional>
#include <memory>

struct pa_operation;
struct pa_stream;
class PulseConnection;

// Playback straight to the sound server through libpulse's asynchronous API on Qt's event loop.
// The server keeps two seconds of sound and asks for more once a second has been played, so
// playing wakes the program a few times a second. Once the source is dry the stream is drained,
// so the last frame is heard before the playback says it has ended. The stream stays on its
// sink: when that sink goes away the playback ends and says so.
class PulsePlayback : public AudioOutput
{
    Q_OBJECT

public:
    explicit PulsePlayback(QObject *parent = nullptr);
    ~PulsePlayback() override;

    void setSink(const QByteArray &sinkName) override { m_sinkName = sinkName; }
    Result<> start(const AudioFormat &format, SoundSource *source) override;
    void stop() override;
    // What the server has played of the stream so far.
    qint64 processedUSecs() const override;

private:
    void onContextEnded();
    static void onStreamState(pa_stream *stream, void *self);
    static void onWritable(pa_stream *stream, size_t bytes, void *self);
    static void onDrained(pa_stream *stream, int success, void *self);

    void fill(size_t bytes);
    void askForTiming();
    void releaseStream();
    void drain();
    // Runs step from the event loop, if this stream is still the one playing then.
    void later(std::function<void()> step);
    void breakOff(const QString &reason);

    std::unique_ptr<PulseConnection> m_pulse;
    pa_stream *m_stream = nullptr;
    pa_sample_spec m_spec{};
    QByteArray m_sinkName; // as the device set-up chose it; empty for the server's default
    SoundSource *m_source = nullptr;
    bool m_sourceDry = false; // the source gave all it had
    bool m_breakingOff = false;
    pa_operation *m_drain = nullptr; // under way once the source is dry
    quint64 m_streamNumber = 0;      // counts the streams started
};
