#include "media/server/PulseConnection.h"

#include "media/MediaTexts.h"
#include "media/server/PulseQtMainloop.h"

#include <QCoreApplication>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>

namespace {

constexpr int connectTimeoutMs = 1500;
constexpr int streamTimeoutMs = 2000;

bool ended(pa_context_state_t state)
{
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

bool settled(pa_context_state_t state)
{
    return state == PA_CONTEXT_READY || ended(state);
}

} // namespace

PulseConnection::PulseConnection(std::function<void()> ended)
    : m_loop(std::make_unique<PulseQtMainloop>())
    , m_ended(std::move(ended))
{}

PulseConnection::~PulseConnection()
{
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
}

bool PulseConnection::connect()
{
    if (m_context && !ended(pa_context_get_state(m_context)))
        return true;
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_unref(m_context);
    }
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    m_context = pa_context_new(m_loop->api(), name.isEmpty() ? "tapewren" : name.constData());
    if (!m_context)
        return false;
    pa_context_set_state_callback(m_context, &PulseConnection::onState, this);
    return pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

bool PulseConnection::ready()
{
    return connect()
           && waitFor([this] { return settled(pa_context_get_state(m_context)); }, connectTimeoutMs)
           && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

Result<> PulseConnection::settle(pa_stream *stream, int connected, const QString &noDevice)
{
    if (connected >= 0
        && waitFor([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
                   streamTimeoutMs)
        && pa_stream_get_state(stream) == PA_STREAM_READY)
        return {};
    const int error = pa_context_errno(m_context);
    if (error == PA_ERR_NOENTITY)
        return Failure(noDevice);
    if (hasEnded())
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());
    return Failure(noDevice + QStringLiteral(u"（") + MediaTexts::serverError(error)
                   + QStringLiteral(u"）"));
}

bool PulseConnection::hasEnded() const
{
    return !m_context || ended(pa_context_get_state(m_context));
}

void PulseConnection::iterate(int timeoutMs)
{
    m_loop->iterate(timeoutMs);
}

void PulseConnection::onState(pa_context *context, void *self)
{
    if (ended(pa_context_get_state(context)))
        static_cast<PulseConnection *>(self)->m_ended();
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

bool streamEnded(pa_stream_state_t state)
{
    return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
}
