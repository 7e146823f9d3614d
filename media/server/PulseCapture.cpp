#include "media/server/PulseCapture.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/server/CaptureSink.h"
#include "media/server/PulseConnection.h"

#include <QDateTime>

#include <pulse/stream.h>

using namespace std::chrono_literals;

namespace {

// A level meter moves smoothly with ten pieces a second; with nobody looking, a piece a second
// wakes the program least.
constexpr pa_usec_t smallPieceUSecs = 100'000;
constexpr pa_usec_t largePieceUSecs = 1'000'000;
// Stop waits at most this much longer than a piece for the last of the sound.
constexpr auto tailSlack = 150ms;

qint64 framesIn(std::chrono::steady_clock::duration time, const pa_sample_spec &spec)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(time).count() * qint64(spec.rate)
           / 1'000'000;
}

} // namespace

PulseCapture::PulseCapture(PulseConnection &pulse, QObject *parent)
    : AudioInput(parent)
    , PulseStream(pulse, this)
{}

PulseCapture::~PulseCapture()
{
    PulseConnection::Lock lock(m_pulse);
    close();
}

pa_buffer_attr PulseCapture::bufferAttributes() const
{
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.fragsize = uint32_t(
            pa_usec_to_bytes(m_large ? largePieceUSecs : smallPieceUSecs, &m_spec));
    attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
    return attr;
}

Result<> PulseCapture::start(const AudioFormat &format, CaptureSink *sink)
{
    stop();
    PulseConnection::Lock lock(m_pulse);
    const QByteArray source = m_source;
    const Result<> opened = open(
            format,
            "录音",
            [this, &source](pa_stream *stream) {
                pa_stream_set_read_callback(stream, &PulseCapture::onReadable, this);
                const pa_buffer_attr attr = bufferAttributes();
                // the stream may not move to another source
                return pa_stream_connect_record(stream,
                                                source.isEmpty() ? nullptr : source.constData(),
                                                &attr,
                                                pa_stream_flags_t(PA_STREAM_DONT_MOVE
                                                                  | PA_STREAM_ADJUST_LATENCY));
            },
            MediaTexts::noInputDevice());
    if (!opened.ok())
        return opened;
    m_sink = sink;
    m_started = std::chrono::steady_clock::now();
    m_frames = 0;
    m_stopFrames = -1;
    m_loss.emplace(int(m_spec.rate), m_large ? 2500 : 1000);
    return {};
}

void PulseCapture::stop()
{
    PulseConnection::Lock lock(m_pulse);
    if (m_stream && m_sink && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        // The source hands over what it captured a piece at a time, the last one only after
        // the user asked to stop: wait for as much sound as time has passed since the start.
        m_stopFrames = framesIn(std::chrono::steady_clock::now() - m_started, m_spec);
        const auto piece = std::chrono::microseconds(m_large ? largePieceUSecs : smallPieceUSecs);
        m_pulse.waitFor(
                [this] {
                    return m_frames >= m_stopFrames || !m_stream
                           || pa_stream_get_state(m_stream) != PA_STREAM_READY;
                },
                std::chrono::duration_cast<std::chrono::milliseconds>(piece) + tailSlack);
    }
    close();
    m_sink = nullptr;
    m_loss.reset();
}

void PulseCapture::setLargePieces(bool large)
{
    if (large == m_large)
        return;
    m_large = large;
    PulseConnection::Lock lock(m_pulse);
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    const pa_buffer_attr attr = bufferAttributes();
    if (pa_operation *operation = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr))
        pa_operation_unref(operation);
}

void PulseCapture::onReadable(pa_stream *, size_t, void *self)
{
    static_cast<PulseCapture *>(self)->take();
}

void PulseCapture::take()
{
    if (!m_sink)
        return; // the stream came up before start() handed it the sink
    const int frameBytes = int(pa_frame_size(&m_spec));
    while (m_stream && m_sink && pa_stream_readable_size(m_stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            break;
        // once Stop is given, sound from after that moment is not the take's
        qint64 frames = qint64(bytes) / frameBytes;
        if (m_stopFrames >= 0)
            frames = std::clamp<qint64>(m_stopFrames - m_frames, 0, frames);
        if (data)
            m_sink->captured(static_cast<const char *>(data), frames * frameBytes);
        else
            m_sink->lost(frames); // a hole the server marks itself: silence keeps the timing
        m_frames += frames;
        pa_stream_drop(m_stream);
    }
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const qint64 nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    if (const qint64 missing = m_loss->received(nowNs, m_frames); missing > 0) {
        qCWarning(lcMedia).noquote() << QDateTime::currentDateTime().toString(Qt::ISODateWithMs)
                                     << "sound never arrived:" << double(missing) / m_spec.rate
                                     << "s; silence takes its place";
        m_sink->lost(missing);
        m_frames += missing;
    }
    if (m_stopFrames >= 0 && m_frames >= m_stopFrames)
        m_pulse.wake();
}

void PulseCapture::streamEnded()
{
    const QString reason = endReason(MediaTexts::inputDeviceLost());
    qCInfo(lcMedia).noquote() << "capture ended:" << reason;
    m_sink = nullptr;
    later([this, reason] {
        {
            PulseConnection::Lock lock(m_pulse);
            close();
        }
        emit failed(reason);
    });
}
