#pragma once

#include "media/server/AudioInput.h"
#include "media/server/LossDetector.h"
#include "media/server/PulseStream.h"

#include <QByteArray>

#include <chrono>
#include <optional>

class CaptureSink;
class PulseConnection;

// Capture straight from the sound server on libpulse's own thread: the server's pieces go to
// the sink as they arrive, whatever the window's thread is doing. Pieces are a tenth of a second
// while a level meter wants them, about a second otherwise. The frames received are counted
// against the monotonic clock, and sound that never arrived is told to the sink, which puts
// silence in its place. The stream stays on its source: when that source goes away the capture
// ends and says so, rather than going on from another device. Any source can be recorded,
// monitors of outputs ("what you hear") included.
class PulseCapture : public AudioInput, private PulseStream
{
    Q_OBJECT

public:
    explicit PulseCapture(PulseConnection &pulse, QObject *parent = nullptr);
    ~PulseCapture() override;

    void setSource(const QByteArray &sourceName) override { m_source = sourceName; }
    Result<> start(const AudioFormat &format, CaptureSink *sink) override;
    void stop() override;
    void setLargePieces(bool large) override;

private:
    static void onReadable(pa_stream *stream, size_t bytes, void *self);
    void take();
    void streamEnded() override;
    pa_buffer_attr bufferAttributes() const;

    QByteArray m_source;
    bool m_large = false;
    // What follows belongs to the loop's thread, or to whoever holds the lock.
    CaptureSink *m_sink = nullptr;
    std::optional<LossDetector> m_loss;
    std::chrono::steady_clock::time_point m_started; // when the stream was ready
    qint64 m_frames = 0;      // received since then, silence for lost sound included
    qint64 m_stopFrames = -1; // while Stop waits: the frames that reach the moment of Stop
};
