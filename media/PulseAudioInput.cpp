#include "media/PulseAudioInput.h"

#include "media/MediaLog.h"
#include "media/MediaTexts.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QSocketNotifier>
#include <QThread>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <array>

namespace {

// Ten deliveries a second: few wake-ups, and a level meter still moves smoothly.
constexpr pa_usec_t fragmentUSecs = 100'000;
constexpr int connectTimeoutMs = 1500;
constexpr int streamTimeoutMs = 2000;
// Stop takes the last of the sound in fragments this small, and waits at most this long for it.
constexpr pa_usec_t tailFragmentUSecs = 5'000;
constexpr int tailTimeoutMs = 150;

// RAII for the main loop's lock, taken on the main thread.
class Locked
{
public:
    explicit Locked(pa_threaded_mainloop *mainloop)
        : m_mainloop(mainloop)
    {
        pa_threaded_mainloop_lock(m_mainloop);
    }
    ~Locked() { pa_threaded_mainloop_unlock(m_mainloop); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    pa_threaded_mainloop *m_mainloop;
};

bool sampleSpecFor(const QAudioFormat &format, pa_sample_spec *spec)
{
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8:
        spec->format = PA_SAMPLE_U8;
        break;
    case QAudioFormat::Int16:
        spec->format = PA_SAMPLE_S16LE;
        break;
    case QAudioFormat::Int32:
        spec->format = PA_SAMPLE_S32LE;
        break;
    case QAudioFormat::Float:
        spec->format = PA_SAMPLE_FLOAT32LE;
        break;
    default:
        return false;
    }
    spec->rate = uint32_t(format.sampleRate());
    spec->channels = uint8_t(format.channelCount());
    return pa_sample_spec_valid(spec) != 0;
}

bool ended(pa_stream_state_t state)
{
    return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED;
}

bool ended(pa_context_state_t state)
{
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

} // namespace

PulseAudioInput::PulseAudioInput(QObject *parent)
    : AudioInput(parent)
    , m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_mainloop = pa_threaded_mainloop_new();
    if (!m_mainloop || !m_wakeFd.isValid())
        return;
    m_notifier = new QSocketNotifier(m_wakeFd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PulseAudioInput::onWake);
    if (pa_threaded_mainloop_start(m_mainloop) < 0) {
        pa_threaded_mainloop_free(m_mainloop);
        m_mainloop = nullptr;
        return;
    }
    // Connected from the start, so that the first take begins as soon as it is asked for.
    const Locked locked(m_mainloop);
    connectContext();
}

PulseAudioInput::~PulseAudioInput()
{
    stop();
    if (!m_mainloop)
        return;
    {
        const Locked locked(m_mainloop);
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

void PulseAudioInput::setDevice(const QAudioDevice &device)
{
    m_source = device.id();
}

bool PulseAudioInput::connectContext()
{
    if (m_context && !ended(pa_context_get_state(m_context)))
        return true;
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_unref(m_context);
    }
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop),
                               name.isEmpty() ? "tapewren" : name.constData());
    if (!m_context)
        return false;
    pa_context_set_state_callback(m_context, &PulseAudioInput::onContextState, this);
    // Never starts a server: without one there is nothing to record from.
    return pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

template<typename Ready>
bool PulseAudioInput::waitFor(Ready ready, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        // the server's thread needs the lock to get on
        pa_threaded_mainloop_unlock(m_mainloop);
        QThread::usleep(500);
        pa_threaded_mainloop_lock(m_mainloop);
    }
    return true;
}

Result<> PulseAudioInput::start(const QAudioFormat &format, QIODevice *sink)
{
    stop();
    if (!m_mainloop)
        return Failure(MediaTexts::noSoundServer());
    if (!sampleSpecFor(format, &m_spec))
        return Failure(MediaTexts::formatNotSupported());

    const Locked locked(m_mainloop);
    if (!connectContext()
        || !waitFor(
                [this] {
                    return pa_context_get_state(m_context) != PA_CONTEXT_CONNECTING
                           && pa_context_get_state(m_context) != PA_CONTEXT_AUTHORIZING
                           && pa_context_get_state(m_context) != PA_CONTEXT_SETTING_NAME
                           && pa_context_get_state(m_context) != PA_CONTEXT_UNCONNECTED;
                },
                connectTimeoutMs)
        || pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return Failure(MediaTexts::noSoundServer());

    m_stream = pa_stream_new(m_context, "录音", &m_spec, nullptr);
    if (!m_stream)
        return Failure(MediaTexts::formatNotSupported());
    pa_stream_set_state_callback(m_stream, &PulseAudioInput::onStreamState, this);
    pa_stream_set_read_callback(m_stream, &PulseAudioInput::onReadable, this);
    m_attr.maxlength = uint32_t(-1);
    m_attr.fragsize = uint32_t(pa_usec_to_bytes(fragmentUSecs, &m_spec));
    m_attr.tlength = m_attr.prebuf = m_attr.minreq = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    const char *device = m_source.isEmpty() ? nullptr : m_source.constData();
    if (pa_stream_connect_record(m_stream, device, &m_attr, flags) < 0
        || !waitFor([this] { return pa_stream_get_state(m_stream) != PA_STREAM_CREATING; },
                    streamTimeoutMs)
        || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        const int error = pa_context_errno(m_context);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
        if (error == PA_ERR_NOENTITY)
            return Failure(MediaTexts::noInputDevice());
        if (ended(pa_context_get_state(m_context)))
            return Failure(MediaTexts::noSoundServer());
        return Failure(MediaTexts::noInputDevice() + QStringLiteral(u"（")
                       + QString::fromUtf8(pa_strerror(error)) + QStringLiteral(u"）"));
    }
    m_deliveredBytes = 0;
    m_running.start();
    m_sink = sink;
    return {};
}

void PulseAudioInput::stop()
{
    if (!m_mainloop)
        return;
    const Locked locked(m_mainloop);
    if (!m_stream)
        return;
    // Everything the source captured up to this moment is part of the take, though the server
    // hands it over only a fragment at a time: ask how far the source has got, and take small
    // fragments until that much has arrived.
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        deliverTail();
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
    m_sink = nullptr;
}

void PulseAudioInput::deliverTail()
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
    waitFor(
            [&] {
                deliver();
                return m_deliveredBytes >= target;
            },
            tailTimeoutMs);
}

void PulseAudioInput::deliver()
{
    static const std::array<char, 4096> silence{};
    while (m_stream && pa_stream_readable_size(m_stream) > 0) {
        const void *data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            return;
        if (m_sink && data) {
            m_sink->write(static_cast<const char *>(data), qint64(bytes));
        } else if (m_sink) {
            // a hole in the stream: silence keeps the take's timing
            for (size_t done = 0; done < bytes; done += silence.size())
                m_sink->write(silence.data(), qint64(std::min(silence.size(), bytes - done)));
        }
        m_deliveredBytes += qint64(bytes);
        pa_stream_drop(m_stream);
    }
}

QString PulseAudioInput::whyBroken() const
{
    if (!m_context || ended(pa_context_get_state(m_context)))
        return MediaTexts::serverLost();
    // Streams that may not move end when their source goes away.
    return MediaTexts::inputDeviceLost();
}

void PulseAudioInput::wake()
{
    if (m_knocked.exchange(true))
        return;
    const quint64 one = 1;
    if (::write(m_wakeFd.get(), &one, sizeof one) < 0) {
        // the counter is full: the main thread has a knock waiting anyway
    }
}

void PulseAudioInput::onWake()
{
    quint64 count = 0;
    if (::read(m_wakeFd.get(), &count, sizeof count) < 0) {
        // nothing to read: a knock already answered
    }
    m_knocked = false;
    QString broken;
    {
        const Locked locked(m_mainloop);
        if (!m_stream)
            return;
        deliver();
        if (ended(pa_stream_get_state(m_stream)))
            broken = whyBroken();
    }
    if (!broken.isEmpty()) {
        qCInfo(lcMedia).noquote() << "capture ended:" << broken;
        stop();
        emit failed(broken);
    }
}

void PulseAudioInput::onContextState(pa_context *context, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    if (ended(pa_context_get_state(context)))
        input->wake();
}

void PulseAudioInput::onStreamState(pa_stream *stream, void *self)
{
    if (ended(pa_stream_get_state(stream)))
        static_cast<PulseAudioInput *>(self)->wake();
}

void PulseAudioInput::onReadable(pa_stream *, size_t, void *self)
{
    static_cast<PulseAudioInput *>(self)->wake();
}
