#pragma once

#include "core/Result.h"
#include "media/server/AudioFormat.h"

#include <QDeadlineTimer>

#include <pulse/def.h>
#include <pulse/sample.h>

#include <algorithm>
#include <functional>
#include <memory>

struct pa_context;
struct pa_stream;
class PulseQtMainloop;

// One connection to the sound server on Qt's event loop, for the streams of one capture or
// playback. It is made on first use and made again after the server went away; it never starts
// a server.
class PulseConnection
{
public:
    // ended: called from inside libpulse when an established connection breaks.
    explicit PulseConnection(std::function<void()> ended);
    ~PulseConnection();
    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    PulseQtMainloop &loop() { return *m_loop; }
    pa_context *get() const { return m_context; }

    // Starts connecting unless connected or on the way.
    bool connect();
    // Connects and waits a while for the server's welcome.
    bool ready();
    // Waits a while for a stream whose connection was just asked for (connected: what the
    // connect call returned). A failure says why; noDevice when the server has no such device.
    Result<> settle(pa_stream *stream, int connected, const QString &noDevice);
    bool hasEnded() const;

    // Runs the server's events alone until ready() holds or the time is up.
    template<typename Ready>
    bool waitFor(Ready ready, int timeoutMs);

private:
    static void onState(pa_context *context, void *self);
    void iterate(int timeoutMs);

    std::unique_ptr<PulseQtMainloop> m_loop;
    pa_context *m_context = nullptr;
    std::function<void()> m_ended;
};

// The server's description of format; false when the server has none for it.
bool sampleSpecFor(const AudioFormat &format, pa_sample_spec *spec);
bool streamEnded(pa_stream_state_t state);

template<typename Ready>
bool PulseConnection::waitFor(Ready ready, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        iterate(int(std::max<qint64>(deadline.remainingTime(), 0)));
    }
    return true;
}
