#include "media/server/PulsePlayback.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/server/PulseConnection.h"

#include "media/server/SoundSource.h"

#include <pulse/operation.h>
#include <pulse/stream.h>

namespace {

// The server keeps two seconds and asks for the next second once one has been played: one
// request a second, as a file player needs. Stop ends the stream at once, whatever is buffered.
constexpr pa_usec_t bufferUSecs = 2'000'000;
constexpr pa_usec_t requestUSecs = 1'000'000;

} // namespace

PulsePlayback::PulsePlayback(QObject *parent)
    : AudioOutput(parent)
    , m_pulse(std::make_unique<PulseConnection>([this] { onContextEnded(); }))
{}

PulsePlayback::~PulsePlayback()
{
    releaseStream();
}

Result<> PulsePlayback::start(const AudioFormat &format, SoundSource *source)
{
    stop();
    if (!sampleSpecFor(format, &m_spec))
        return Failure(MediaTexts::formatNotSupported());
    // Connected only now: a start-up has no need to wait for the server.
    if (!m_pulse->ready())
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());

    ++m_streamNumber;
    m_breakingOff = false;
    m_stream = pa_stream_new(m_pulse->get(), "放音", &m_spec, nullptr);
    if (!m_stream)
        return Failure(MediaTexts::formatNotSupported());
    m_source = source;
    m_sourceDry = false;
    pa_stream_set_state_callback(m_stream, &PulsePlayback::onStreamState, this);
    pa_stream_set_write_callback(m_stream, &PulsePlayback::onWritable, this);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(bufferUSecs, &m_spec));
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(pa_usec_to_bytes(requestUSecs, &m_spec));
    attr.fragsize = uint32_t(-1);
    // The played time is read from the server's clock, brought up to date after each delivery
    // (fill) rather than on libpulse's own timer, which would wake the program several times a
    // second.
    const auto flags = pa_stream_flags_t(PA_STREAM_DONT_MOVE | PA_STREAM_INTERPOLATE_TIMING);
    const char *device = m_sinkName.isEmpty() ? nullptr : m_sinkName.constData();
    const Result<> settled = m_pulse->settle(m_stream,
                                             pa_stream_connect_playback(m_stream,
                                                                        device,
                                                                        &attr,
                                                                        flags,
                                                                        nullptr,
                                                                        nullptr),
                                             MediaTexts::noOutputDevice());
    if (!settled.ok())
        releaseStream();
    return settled;
}

void PulsePlayback::stop()
{
    releaseStream();
    m_source = nullptr;
}

qint64 PulsePlayback::processedUSecs() const
{
    pa_usec_t played = 0;
    if (!m_stream || pa_stream_get_time(m_stream, &played) < 0)
        return 0;
    return qint64(played);
}

void PulsePlayback::releaseStream()
{
    if (!m_stream)
        return;
    if (m_drain) {
        pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
        m_drain = nullptr;
    }
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulsePlayback::fill(size_t bytes)
{
    while (bytes > 0 && m_stream && m_source && !m_sourceDry && !m_breakingOff) {
        void *data = nullptr;
        size_t room = bytes;
        if (pa_stream_begin_write(m_stream, &data, &room) < 0 || !data || room == 0)
            return;
        const Result<qint64> got = m_source->read(static_cast<char *>(data), qint64(room));
        if (!got.ok()) {
            pa_stream_cancel_write(m_stream);
            qCInfo(lcMedia).noquote() << "playback ended:" << got.reason();
            // not from inside libpulse's own call: the listener stops the playback
            m_breakingOff = true;
            later([this, reason = got.reason()] { breakOff(reason); });
            return;
        }
        if (got.value() == 0) {
            pa_stream_cancel_write(m_stream);
            drain();
            return;
        }
        pa_stream_write(m_stream, data, size_t(got.value()), nullptr, 0, PA_SEEK_RELATIVE);
        bytes -= std::min(bytes, size_t(got.value()));
    }
    askForTiming();
}

void PulsePlayback::askForTiming()
{
    if (!m_stream)
        return;
    if (pa_operation *operation = pa_stream_update_timing_info(m_stream, nullptr, nullptr))
        pa_operation_unref(operation);
}

void PulsePlayback::drain()
{
    m_sourceDry = true;
    // The server plays out what it holds, a sound shorter than its buffer included, and says
    // when the last frame has been played.
    m_drain = pa_stream_drain(m_stream, &PulsePlayback::onDrained, this);
    askForTiming();
    later([this] { emit idle(); });
}

void PulsePlayback::breakOff(const QString &reason)
{
    m_breakingOff = false;
    if (!m_stream)
        return;
    stop();
    emit failed(reason);
}

void PulsePlayback::onContextEnded()
{
    if (m_stream && !m_breakingOff) {
        m_breakingOff = true;
        qCInfo(lcMedia) << "playback ended: the sound server went away";
        later([this] { breakOff(MediaTexts::serverLost()); });
    }
}

void PulsePlayback::onStreamState(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulsePlayback *>(self);
    if (streamEnded(pa_stream_get_state(stream)) && !output->m_breakingOff) {
        output->m_breakingOff = true;
        output->later([output] {
            // a stream that may not move ends when its sink goes
            output->breakOff(output->m_pulse->hasEnded() ? MediaTexts::serverLost()
                                                         : MediaTexts::outputDeviceLost());
        });
    }
}

void PulsePlayback::onDrained(pa_stream *, int success, void *self)
{
    auto *output = static_cast<PulsePlayback *>(self);
    if (output->m_drain) {
        pa_operation_unref(output->m_drain);
        output->m_drain = nullptr;
    }
    // a drain that fails went with its stream, which says so itself
    if (success)
        output->later([output] { emit output->drained(); });
}

void PulsePlayback::later(std::function<void()> step)
{
    // Not from inside libpulse's own call, since the listener may stop the playback; and only
    // for the stream it came from, not for one started meanwhile.
    QMetaObject::invokeMethod(
            this,
            [this, stream = m_streamNumber, step = std::move(step)] {
                if (stream == m_streamNumber)
                    step();
            },
            Qt::QueuedConnection);
}

void PulsePlayback::onWritable(pa_stream *, size_t bytes, void *self)
{
    static_cast<PulsePlayback *>(self)->fill(bytes);
}
