#pragma once

#include "core/Result.h"

#include <QString>

#include <pulse/def.h>
#include <pulse/sample.h>

#include <atomic>
#include <chrono>
#include <functional>

class AudioFormat;
class PulseConnection;
class QObject;
struct pa_stream;

// What a capture and a playback stream share: a stream on the program's connection, made and
// connected with the loop's lock held, whose end by itself (the server gone, its device
// removed) is noticed on the loop's thread and told to the window's thread.
class PulseStream
{
protected:
    // owner: the object on the window's thread that hears of the stream.
    PulseStream(PulseConnection &pulse, QObject *owner);
    ~PulseStream();
    PulseStream(const PulseStream &) = delete;
    PulseStream &operator=(const PulseStream &) = delete;

    // With the lock held: makes a stream of format named name, connects it with connectStream
    // and waits for the server's answer. noDevice: the reason when the server has no such
    // device.
    Result<> open(const AudioFormat &format,
                  const char *name,
                  const std::function<int(pa_stream *)> &connectStream,
                  const QString &noDevice);
    // With the lock held: disconnects and lets go of the stream.
    void close();
    // Runs step on the window's thread, if this stream is still the one open then.
    void later(std::function<void()> step);
    // With the lock held: why the stream ended by itself. A stream that may not move ends when
    // its device goes.
    QString endReason(const QString &deviceLost) const;

    // On the loop's thread, with the lock held: the stream failed or was ended by the server.
    virtual void streamEnded() = 0;

    PulseConnection &m_pulse;
    pa_stream *m_stream = nullptr;
    pa_sample_spec m_spec{};

private:
    static void onState(pa_stream *stream, void *self);

    QObject *m_owner;
    std::atomic<quint64> m_streamNumber{0}; // counts the streams opened and closed
};
