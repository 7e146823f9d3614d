#pragma once

#include "media/server/AudioOutput.h"
#include "media/server/PulseStream.h"

#include <QByteArray>

struct pa_operation;
class PulseConnection;

// Playback straight to the sound server on libpulse's own thread: the sound is read from the
// source there, a second at a time as the server asks for it. The server keeps two seconds and
// asks for more once a second has been played, so playing wakes the program a few times a
// second. Once the source is dry the stream is drained, so the last frame is heard before the
// playback says it has ended. The stream stays on its sink: when that sink goes away the
// playback ends and says so.
class PulsePlayback : public AudioOutput, private PulseStream
{
    Q_OBJECT

public:
    explicit PulsePlayback(PulseConnection &pulse, QObject *parent = nullptr);
    ~PulsePlayback() override;

    void setSink(const QByteArray &sinkName) override { m_sinkName = sinkName; }
    Result<> start(const AudioFormat &format, SoundSource *source) override;
    void stop() override;
    // What the server has played of the stream so far.
    qint64 processedUSecs() const override;

private:
    static void onWritable(pa_stream *stream, size_t bytes, void *self);
    static void onDrained(pa_stream *stream, int success, void *self);
    void fill(size_t bytes);
    void drain();
    void askForTiming();
    void streamEnded() override;
    void breakOff(const QString &reason);

    QByteArray m_sinkName; // as the device set-up chose it; empty for the server's default
    // What follows belongs to the loop's thread, or to whoever holds the lock.
    SoundSource *m_source = nullptr;
    bool m_sourceDry = false; // the source gave all it had
    bool m_ending = false;    // the stream ended, or reading failed: nothing more is read
    pa_operation *m_drain = nullptr;
};
