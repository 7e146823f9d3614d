#include "media/server/PulseConnection.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"

#include <QCoreApplication>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace {

bool ended(pa_context_state_t state)
{
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

bool settled(pa_context_state_t state)
{
    return state == PA_CONTEXT_READY || ended(state);
}

// Rings once, on the loop's thread, when a wait's time is up.
struct Alarm
{
    pa_threaded_mainloop *loop;
    bool rang = false;

    static void ring(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self)
    {
        auto *alarm = static_cast<Alarm *>(self);
        alarm->rang = true;
        pa_threaded_mainloop_signal(alarm->loop, 0);
    }
};

void forget(pa_operation *operation)
{
    // the context keeps an operation alive until its answer has come
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

PulseConnection::PulseConnection()
    : m_loop(pa_threaded_mainloop_new())
{
    pa_threaded_mainloop_set_name(m_loop, "tapewren-sound");
    if (pa_threaded_mainloop_start(m_loop) < 0)
        qCWarning(lcMedia) << "the sound server's thread did not start";
    // Connected from the start, so that the first take begins as soon as it is asked for and
    // the device set-up finds the server's answer waiting.
    Lock lock(*this);
    connect();
}

PulseConnection::~PulseConnection()
{
    {
        Lock lock(*this);
        releaseContext();
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

PulseConnection::Lock::Lock(const PulseConnection &connection)
    : m_loop(connection.m_loop)
{
    pa_threaded_mainloop_lock(m_loop);
}

PulseConnection::Lock::~Lock()
{
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseConnection::connect()
{
    releaseContext();
    m_devicesKnown = false;
    m_pendingAnswers = 0;
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop),
                               name.isEmpty() ? "tapewren" : name.constData());
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, &PulseConnection::onContextState, this);
    pa_context_set_subscribe_callback(m_context, &PulseConnection::onSubscription, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        qCInfo(lcMedia) << "no sound server to connect to";
}

void PulseConnection::releaseContext()
{
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

pa_context *PulseConnection::ready(std::chrono::milliseconds timeout)
{
    if (hasEnded())
        connect();
    if (!m_context)
        return nullptr;
    waitFor([this] { return settled(pa_context_get_state(m_context)); }, timeout);
    return pa_context_get_state(m_context) == PA_CONTEXT_READY ? m_context : nullptr;
}

bool PulseConnection::hasEnded() const
{
    return !m_context || ended(pa_context_get_state(m_context));
}

bool PulseConnection::waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    if (done())
        return true;
    // the loop's own thread would wait for itself
    Q_ASSERT(!pa_threaded_mainloop_in_thread(m_loop));
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    Alarm alarm{m_loop};
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when),
                   pa_usec_t(
                           std::chrono::duration_cast<std::chrono::microseconds>(timeout).count()));
    pa_time_event *event = api->time_new(api, &when, &Alarm::ring, &alarm);
    while (!done() && !alarm.rang)
        pa_threaded_mainloop_wait(m_loop);
    api->time_free(event);
    return done();
}

void PulseConnection::wake()
{
    pa_threaded_mainloop_signal(m_loop, 0);
}

Result<PulseServerInfo> PulseConnection::devices(std::chrono::milliseconds timeout)
{
    Lock lock(*this);
    if (!ready(timeout))
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());
    waitFor([this] { return (m_devicesKnown && !m_devicesChanged) || hasEnded(); }, timeout);
    if (!m_devicesKnown || hasEnded())
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());
    return m_knownDevices;
}

void PulseConnection::askDevices()
{
    if (m_pendingAnswers > 0) {
        m_askAgain = true;
        return;
    }
    m_askAgain = false;
    m_devices = {};
    m_pendingAnswers = 3;
    forget(pa_context_get_server_info(m_context, &PulseConnection::onServerInfo, this));
    forget(pa_context_get_source_info_list(m_context, &PulseConnection::onSourceInfo, this));
    forget(pa_context_get_sink_info_list(m_context, &PulseConnection::onSinkInfo, this));
}

void PulseConnection::answered()
{
    if (--m_pendingAnswers > 0)
        return;
    if (m_askAgain) {
        askDevices();
        return;
    }
    m_knownDevices = m_devices;
    m_devicesKnown = true;
    m_devicesChanged = false;
    wake();
}

void PulseConnection::onContextState(pa_context *context, void *self)
{
    auto *connection = static_cast<PulseConnection *>(self);
    if (pa_context_get_state(context) == PA_CONTEXT_READY) {
        const auto watched = pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER
                                                    | PA_SUBSCRIPTION_MASK_SOURCE
                                                    | PA_SUBSCRIPTION_MASK_SINK);
        forget(pa_context_subscribe(context, watched, nullptr, nullptr));
        connection->askDevices();
    }
    connection->wake();
}

void PulseConnection::onSubscription(pa_context *,
                                     pa_subscription_event_type_t event,
                                     uint32_t,
                                     void *self)
{
    // a new default, or a device that came or went; a device's volume changing is none of it
    const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (facility != PA_SUBSCRIPTION_EVENT_SERVER && type == PA_SUBSCRIPTION_EVENT_CHANGE)
        return;
    auto *connection = static_cast<PulseConnection *>(self);
    connection->m_devicesChanged = true;
    connection->askDevices();
}

void PulseConnection::onServerInfo(pa_context *, const pa_server_info *info, void *self)
{
    auto *connection = static_cast<PulseConnection *>(self);
    if (info) {
        connection->m_devices.defaultSource = QByteArray(info->default_source_name);
        connection->m_devices.defaultSink = QByteArray(info->default_sink_name);
    }
    connection->answered();
}

void PulseConnection::onSourceInfo(pa_context *, const pa_source_info *info, int eol, void *self)
{
    auto *connection = static_cast<PulseConnection *>(self);
    if (eol != 0)
        connection->answered();
    else if (info)
        connection->m_devices.sources.append(QByteArray(info->name));
}

void PulseConnection::onSinkInfo(pa_context *, const pa_sink_info *info, int eol, void *self)
{
    auto *connection = static_cast<PulseConnection *>(self);
    if (eol != 0)
        connection->answered();
    else if (info)
        connection->m_devices.sinks.append(QByteArray(info->name));
}

bool sampleSpecFor(const AudioFormat &format, pa_sample_spec *spec)
{
    switch (format.sampleFormat()) {
    case AudioFormat::UInt8:
        spec->format = PA_SAMPLE_U8;
        break;
    case AudioFormat::Int16:
        spec->format = PA_SAMPLE_S16LE;
        break;
    case AudioFormat::Int32:
        spec->format = PA_SAMPLE_S32LE;
        break;
    case AudioFormat::Float:
        spec->format = PA_SAMPLE_FLOAT32LE;
        break;
    default:
        return false;
    }
    spec->rate = uint32_t(format.sampleRate());
    spec->channels = uint8_t(format.channelCount());
    return pa_sample_spec_valid(spec) != 0;
}
