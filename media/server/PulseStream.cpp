#include "media/server/PulseStream.h"

#include "media/MediaTexts.h"
#include "media/server/PulseConnection.h"

#include <QObject>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>

using namespace std::chrono_literals;

namespace {

// Long enough for a busy local server, short enough that a dead one does not stall a command.
constexpr auto connectTimeout = 1500ms;
constexpr auto streamTimeout = 2000ms;

bool ended(pa_stream_state_t state)
{
    return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
}

} // namespace

PulseStream::PulseStream(PulseConnection &pulse, QObject *owner)
    : m_pulse(pulse)
    , m_owner(owner)
{}

PulseStream::~PulseStream() = default;

Result<> PulseStream::open(const AudioFormat &format,
                           const char *name,
                           const std::function<int(pa_stream *)> &connectStream,
                           const QString &noDevice)
{
    close();
    if (!sampleSpecFor(format, &m_spec))
        return Failure(MediaTexts::formatNotSupported());
    // Never starts a server: without one there is nothing to record from or play to.
    pa_context *context = m_pulse.ready(connectTimeout);
    if (!context)
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());
    m_stream = pa_stream_new(context, name, &m_spec, nullptr);
    if (!m_stream)
        return Failure(MediaTexts::formatNotSupported());
    ++m_streamNumber;
    pa_stream_set_state_callback(m_stream, &PulseStream::onState, this);
    if (connectStream(m_stream) >= 0
        && m_pulse.waitFor([this] { return pa_stream_get_state(m_stream) != PA_STREAM_CREATING; },
                           streamTimeout)
        && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        return {};

    const int error = pa_context_errno(context);
    close();
    if (error == PA_ERR_NOENTITY)
        return Failure(noDevice);
    if (m_pulse.hasEnded())
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());
    return Failure(noDevice + QStringLiteral(u"（") + MediaTexts::serverError(error)
                   + QStringLiteral(u"）"));
}

void PulseStream::close()
{
    if (!m_stream)
        return;
    ++m_streamNumber; // what it still had on its way to the window goes nowhere
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseStream::later(std::function<void()> step)
{
    QMetaObject::invokeMethod(
            m_owner,
            [this, stream = m_streamNumber.load(), step = std::move(step)] {
                if (stream == m_streamNumber)
                    step();
            },
            Qt::QueuedConnection);
}

QString PulseStream::endReason(const QString &deviceLost) const
{
    return m_pulse.hasEnded() ? MediaTexts::serverLost() : deviceLost;
}

void PulseStream::onState(pa_stream *stream, void *self)
{
    auto *pulseStream = static_cast<PulseStream *>(self);
    pulseStream->m_pulse.wake();
    if (ended(pa_stream_get_state(stream)) && stream == pulseStream->m_stream)
        pulseStream->streamEnded();
}
