#pragma once

#include "media/server/AudioOutput.h"

#include <QByteArray>
#include <QPointer>

#include <pulse/sample.h>

#include <memory>

struct pa_stream;
class PulseConnection;

// Playback straight to the sound server through libpulse's asynchronous API on Qt's event loop.
// The server keeps two seconds of sound and asks for more once a second has been played, so
// playing wakes the program a few times a second. The stream stays on its sink: when that sink
// goes away the playback ends and says so.
class PulsePlayback : public AudioOutput
{
    Q_OBJECT

public:
    explicit PulsePlayback(QObject *parent = nullptr);
    ~PulsePlayback() override;

    void setSink(const QByteArray &sinkName) override { m_sinkName = sinkName; }
    Result<> start(const AudioFormat &format, QIODevice *source) override;
    void stop() override;
    // What the server has played of the stream so far.
    qint64 processedUSecs() const override;

private:
    void onContextEnded();
    static void onStreamState(pa_stream *stream, void *self);
    static void onWritable(pa_stream *stream, size_t bytes, void *self);

    void fill(size_t bytes);
    void askForTiming();
    void releaseStream();
    void breakOff();

    std::unique_ptr<PulseConnection> m_pulse;
    pa_stream *m_stream = nullptr;
    pa_sample_spec m_spec{};
    QByteArray m_sinkName; // as the device set-up chose it; empty for the server's default
    QPointer<QIODevice> m_source;
    bool m_sourceDry = false; // the source gave all it had
    bool m_breakingOff = false;
};
