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

PulsePlayback::PulsePlayback(PulseConnection &pulse, QObject *parent)
    : AudioOutput(parent)
    , PulseStream(pulse, this)
{}

PulsePlayback::~PulsePlayback()
{
    stop();
}

Result<> PulsePlayback::start(const AudioFormat &format, SoundSource *source)
{
    stop();
    PulseConnection::Lock lock(m_pulse);
    m_source = source;
    m_sourceDry = false;
    m_ending = false;
    const QByteArray sink = m_sinkName;
    const Result<> opened = open(
            format,
            "放音",
            [this, &sink](pa_stream *stream) {
                pa_stream_set_write_callback(stream, &PulsePlayback::onWritable, this);
                pa_buffer_attr attr;
                attr.maxlength = uint32_t(-1);
                attr.tlength = uint32_t(pa_usec_to_bytes(bufferUSecs, &m_spec));
                attr.prebuf = uint32_t(-1);
                attr.minreq = uint32_t(pa_usec_to_bytes(requestUSecs, &m_spec));
                attr.fragsize = uint32_t(-1);
                // The played time is read from the server's clock, brought up to date after
                // each delivery rather than on libpulse's own timer, which would wake the
                // program several times a second.
                const auto flags = pa_stream_flags_t(PA_STREAM_DONT_MOVE
                                                     | PA_STREAM_INTERPOLATE_TIMING);
                return pa_stream_connect_playback(stream,
                                                  sink.isEmpty() ? nullptr : sink.constData(),
                                                  &attr,
                                                  flags,
                                                  nullptr,
                                                  nullptr);
            },
            MediaTexts::noOutputDevice());
    if (!opened.ok())
        m_source = nullptr;
    return opened;
}

void PulsePlayback::stop()
{
    PulseConnection::Lock lock(m_pulse);
    if (m_drain) {
        pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
        m_drain = nullptr;
    }
    close();
    m_source = nullptr;
}

qint64 PulsePlayback::processedUSecs() const
{
    PulseConnection::Lock lock(m_pulse);
    pa_usec_t played = 0;
    if (!m_stream || pa_stream_get_time(m_stream, &played) < 0)
        return 0;
    return qint64(played);
}

void PulsePlayback::onWritable(pa_stream *, size_t bytes, void *self)
{
    static_cast<PulsePlayback *>(self)->fill(bytes);
}

void PulsePlayback::fill(size_t bytes)
{
    while (bytes > 0 && m_stream && m_source && !m_sourceDry && !m_ending) {
        void *data = nullptr;
        size_t room = bytes;
        if (pa_stream_begin_write(m_stream, &data, &room) < 0 || !data || room == 0)
            return;
        const Result<qint64> got = m_source->read(static_cast<char *>(data), qint64(room));
        if (!got.ok()) {
            pa_stream_cancel_write(m_stream);
            qCInfo(lcMedia).noquote() << "playback ended:" << got.reason();
            m_ending = true;
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

void PulsePlayback::drain()
{
    m_sourceDry = true;
    // The server plays out what it holds, a sound shorter than its buffer included, and says
    // when the last frame has been played.
    m_drain = pa_stream_drain(m_stream, &PulsePlayback::onDrained, this);
    askForTiming();
    later([this] { emit idle(); });
}

void PulsePlayback::askForTiming()
{
    if (pa_operation *operation = pa_stream_update_timing_info(m_stream, nullptr, nullptr))
        pa_operation_unref(operation);
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

void PulsePlayback::streamEnded()
{
    if (m_ending)
        return;
    m_ending = true;
    const QString reason = endReason(MediaTexts::outputDeviceLost());
    qCInfo(lcMedia).noquote() << "playback ended:" << reason;
    later([this, reason] { breakOff(reason); });
}

void PulsePlayback::breakOff(const QString &reason)
{
    stop();
    emit failed(reason);
}
