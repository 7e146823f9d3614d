#include "media/Playback.h"

#include "media/AudioOutput.h"
#include "media/Waveform.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {

// Until the output has taken the last frame, only an output that never says so needs looking
// at, once the sound's own length has passed; then the end is looked for closely, while the
// last of the sound drains.
constexpr auto pollInterval = 20ms;
// How long the sink may keep sound buffered after the last frame went in; past this it is
// taken as heard even when the sink's clock lags.
constexpr qint64 drainLimitMs = 700;

} // namespace

Playback::Playback(AudioOutput &output, QObject *parent)
    : QObject(parent)
    , m_output(output)
{
    connect(&m_pollTimer, &QTimer::timeout, this, &Playback::poll);
    connect(&m_output, &AudioOutput::idle, this, &Playback::onSourceDry);
    connect(&m_output, &AudioOutput::failed, this, &Playback::onFailed);
}

Playback::~Playback()
{
    stop();
}

Result<> Playback::start(Waveform &waveform, qint64 startFrame)
{
    stop();
    m_format = waveform.format();
    m_end = waveform.frames();
    m_device.begin(waveform, startFrame);
    if (Result<> started = m_output.start(m_format.audioFormat(), &m_device); !started.ok()) {
        m_device.end();
        return started;
    }
    m_playing = true;
    m_drainClock.invalidate();
    const std::chrono::milliseconds length(m_format.framesToMs(m_end - m_device.startFrame()));
    m_pollTimer.start(std::clamp<std::chrono::milliseconds>(length, pollInterval, 1h));
    return {};
}

void Playback::stop()
{
    if (!m_playing)
        return;
    m_playing = false;
    m_pollTimer.stop();
    m_output.stop();
    m_device.end();
}

qint64 Playback::position() const
{
    if (!m_playing)
        return m_end;
    const qint64 heard = std::min(m_format.usToFrames(m_output.processedUSecs()),
                                  m_device.framesRead());
    return std::min(m_device.startFrame() + heard, m_end - 1);
}

void Playback::onSourceDry()
{
    if (!m_playing)
        return;
    if (m_pollTimer.intervalAsDuration() != pollInterval)
        m_pollTimer.start(pollInterval);
    poll();
}

void Playback::poll()
{
    if (!m_playing || m_device.startFrame() + m_device.framesRead() < m_end)
        return;
    if (!m_drainClock.isValid())
        m_drainClock.start();
    const qint64 handed = m_format.usToFrames(m_output.processedUSecs());
    if (handed < m_device.framesRead() && m_drainClock.elapsed() < drainLimitMs)
        return;
    stop();
    emit finished();
}

void Playback::onFailed(const QString &reason)
{
    if (!m_playing)
        return;
    const qint64 at = position();
    stop();
    m_end = at; // position() reports where it broke off
    emit failed(reason);
}
