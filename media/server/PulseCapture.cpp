#include "media/server/PulseCapture.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/server/PulseConnection.h"
#include "media/server/PulseQtMainloop.h"

#include <QIODevice>

#include <pulse/stream.h>

#include <algorithm>

namespace {

// Written to the spool about ten times a second: few writes, and a level meter still moves
// smoothly.
constexpr pa_usec_t fragmentUSecs = 100'000;
// Stop takes the last of the sound in fragments this small, and waits at most this long for it.
constexpr pa_usec_t tailFragmentUSecs = 5'000;
constexpr int tailTimeoutMs = 150;

// How long the sound may wait at the server between two rounds: a fragment, and never more
// than the shared ring between server and program (32 KiB each way) holds with room to spare.
// Whole 25 ms steps put the rounds on the same boundaries as Qt's coarse timers of 200 ms
// and 1 s, so the clock's ticks and the status updates share the rounds' wake-ups.
int paceMs(const pa_sample_spec &spec)
{
    constexpr size_t ringShare = 24 * 1024;
    const pa_usec_t ringTime = pa_bytes_to_usec(ringShare, &spec);
    const int ms = int(std::min(fragmentUSecs, ringTime) / 1000);
    constexpr int step = 25;
    return ms >= step ? ms / step * step : ms;
}

} // namespace

PulseCapture::PulseCapture(QObject *parent)
    : AudioInput(parent)
    , m_pulse(std::make_unique<PulseConnection>([this] { onContextEnded(); }))
{
    // the main loop comes round about once a fragment: what it brought is written in one go
    connect(&m_pulse->loop(), &PulseQtMainloop::handled, this, &PulseCapture::passOn);
    // Connected from the start, so that the first take begins as soon as it is asked for.
    m_pulse->connect();
}

PulseCapture::~PulseCapture()
{
    releaseStream();
}

Result<> PulseCapture::start(const AudioFormat &format, QIODevice *sink)
{
    stop();
    if (!sampleSpecFor(format, &m_spec))
        return Failure(MediaTexts::formatNotSupported());
    // Never starts a server: without one there is nothing to record from.
    if (!m_pulse->ready())
        return Failure(Failure::ServerGone, MediaTexts::noSoundServer());

    m_stream = pa_stream_new(m_pulse->get(), "录音", &m_spec, nullptr);
    if (!m_stream)
        return Failure(MediaTexts::formatNotSupported());
    pa_stream_set_state_callback(m_stream, &PulseCapture::onStreamState, this);
    pa_stream_set_read_callback(m_stream, &PulseCapture::onReadable, this);
    m_attr.maxlength = uint32_t(-1);
    m_attr.fragsize = uint32_t(pa_usec_to_bytes(fragmentUSecs, &m_spec));
    m_attr.tlength = m_attr.prebuf = m_attr.minreq = uint32_t(-1);
    // The source keeps its own block size; the stream may not move to another source.
    const auto flags = PA_STREAM_DONT_MOVE;
    const char *device = m_source.isEmpty() ? nullptr : m_source.constData();
    const Result<> settled
            = m_pulse->settle(m_stream,
                              pa_stream_connect_record(m_stream, device, &m_attr, flags),
                              MediaTexts::noInputDevice());
    if (!settled.ok()) {
        releaseStream();
        return settled;
    }
    m_takenBytes = 0;
    m_running.start();
    m_batch.clear();
    m_batch.reserve(2 * m_attr.fragsize);
    m_sink = sink;
    m_pulse->loop().setPace(paceMs(m_spec));
    return {};
}

void PulseCapture::stop()
{
    m_pulse->loop().setPace(0);
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY && m_sink)
        takeTail();
    passOn();
    releaseStream();
    m_sink = nullptr;
}

void PulseCapture::releaseStream()
{
    if (!m_stream)
        return;
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void PulseCapture::takeTail()
{
    // The source hands over what it captured a block at a time, the last block only after the
    // user already asked to stop: wait for as much sound as time has passed since the start,
    // in small fragments, for no longer than a fragment and a little.
    pa_buffer_attr small = m_attr;
    small.fragsize = uint32_t(pa_usec_to_bytes(tailFragmentUSecs, &m_spec));
    if (pa_operation *operation = pa_stream_set_buffer_attr(m_stream, &small, nullptr, nullptr))
        pa_operation_unref(operation);
    const qint64 target = qint64(
            pa_usec_to_bytes(pa_usec_t(m_running.nsecsElapsed() / 1000), &m_spec));
    m_pulse->waitFor(
            [&] {
                take();
                return m_takenBytes >= target || !m_stream
                       || pa_stream_get_state(m_stream) != PA_STREAM_READY;
            },
            tailTimeoutMs);
}

void PulseCapture::take()
{
    while (m_stream && pa_stream_readable_size(m_stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            break;
        const auto *from = static_cast<const char *>(data);
        for (size_t done = 0; done < bytes;) {
            const size_t part = std::min(bytes - done, m_batch.capacity() - m_batch.size());
            // a hole in the stream: silence keeps the take's timing
            if (from)
                m_batch.insert(m_batch.end(), from + done, from + done + part);
            else
                m_batch.insert(m_batch.end(), part, '\0');
            done += part;
            if (m_batch.size() == m_batch.capacity())
                passOn();
        }
        m_takenBytes += qint64(bytes);
        pa_stream_drop(m_stream);
    }
}

void PulseCapture::passOn()
{
    if (m_sink && !m_batch.empty())
        m_sink->write(m_batch.data(), qint64(m_batch.size()));
    m_batch.clear(); // keeps its room: nothing is allocated while recording
}

void PulseCapture::breakOff()
{
    m_breakingOff = false;
    m_pulse->loop().setPace(0);
    if (!m_stream)
        return;
    const QString reason = m_pulse->hasEnded()
                                   ? MediaTexts::serverLost()
                                   // a stream that may not move ends when its source goes
                                   : MediaTexts::inputDeviceLost();
    qCInfo(lcMedia).noquote() << "capture ended:" << reason;
    passOn();
    releaseStream();
    m_sink = nullptr;
    emit failed(reason);
}

void PulseCapture::onContextEnded()
{
    if (m_stream && !m_breakingOff) {
        // not from inside libpulse's own call
        m_breakingOff = true;
        QMetaObject::invokeMethod(this, &PulseCapture::breakOff, Qt::QueuedConnection);
    }
}

void PulseCapture::onStreamState(pa_stream *stream, void *self)
{
    auto *input = static_cast<PulseCapture *>(self);
    if (streamEnded(pa_stream_get_state(stream)) && !input->m_breakingOff) {
        input->m_breakingOff = true;
        QMetaObject::invokeMethod(input, &PulseCapture::breakOff, Qt::QueuedConnection);
    }
}

void PulseCapture::onReadable(pa_stream *, size_t, void *self)
{
    // gathered here, written once the round is handled
    static_cast<PulseCapture *>(self)->take();
}
