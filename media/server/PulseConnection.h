#pragma once

#include "core/Result.h"
#include "media/server/AudioFormat.h"
#include "media/server/PulseServerInfo.h"

#include <pulse/def.h>
#include <pulse/sample.h>

#include <chrono>
#include <functional>

struct pa_context;
struct pa_server_info;
struct pa_sink_info;
struct pa_source_info;
struct pa_threaded_mainloop;

// The program's one connection to the sound server, on libpulse's own thread: capture,
// playback and the device set-up's question share it. It connects as soon as it is made, and
// again on the next use after the server went away; it never starts a server. It keeps the
// server's devices as the server last announced them.
//
// libpulse is called only with the loop's lock held (Lock), from any thread but the loop's own;
// libpulse's callbacks run on the loop's thread with the lock held, and wake a waiting caller
// with wake(). Nothing a callback does may block.
class PulseConnection
{
public:
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    class Lock
    {
    public:
        explicit Lock(const PulseConnection &connection);
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        pa_threaded_mainloop *m_loop;
    };

    // With the lock held: the connection once the server has welcomed it, waiting for that at
    // most timeout; connects again when the server went away. Null without a server.
    pa_context *ready(std::chrono::milliseconds timeout);
    // With the lock held: whether the connection broke or never came about.
    bool hasEnded() const;
    // With the lock held: waits until done() holds or the time is up; false when it is up.
    bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout);
    // From a callback: wakes whoever waits.
    void wake();

    // The server's defaults and devices as it last announced them; waits at most timeout for
    // its first answer, or for the answer to a change it announced. Takes the lock itself.
    Result<PulseServerInfo> devices(std::chrono::milliseconds timeout);

private:
    static void onContextState(pa_context *context, void *self);
    static void onSubscription(pa_context *context,
                               pa_subscription_event_type_t event,
                               uint32_t index,
                               void *self);
    static void onServerInfo(pa_context *context, const pa_server_info *info, void *self);
    static void onSourceInfo(pa_context *context, const pa_source_info *info, int eol, void *self);
    static void onSinkInfo(pa_context *context, const pa_sink_info *info, int eol, void *self);
    void connect();
    void askDevices();
    void answered();
    void releaseContext();

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    PulseServerInfo m_devices;      // being gathered while m_pendingAnswers > 0
    PulseServerInfo m_knownDevices; // the last whole answer
    int m_pendingAnswers = 0;       // of the server information and the two device lists
    bool m_devicesKnown = false;    // m_knownDevices holds an answer
    bool m_devicesChanged = false;  // the server announced a change since that answer
    bool m_askAgain = false;        // a change came while the server was being asked
};

// The server's description of format; false when the server has none for it.
bool sampleSpecFor(const AudioFormat &format, pa_sample_spec *spec);
