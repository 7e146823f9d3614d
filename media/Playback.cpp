#include "media/Playback.h"

#include "media/server/AudioOutput.h"
#include "media/take/Waveform.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {

// Until the output has taken the last frame, only an output that never says so needs looking
// at, once the sound's own length has passed. Then the program sleeps until the sink should
// have played what it holds, and looks closely from there.
constexpr auto pollInterval = 20ms;
// How much longer than its clock says the sink may take to play what it holds; past this the
// sound is taken as heard even when the sink's clock lags.
constexpr qint64 drainSlackMs = 700;

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
    poll();
}

void Playback::poll()
{
    if (!m_playing || m_device.startFrame() + m_device.framesRead() < m_end)
        return;
    const qint64 unheard = m_device.framesRead() - m_format.usToFrames(m_output.processedUSecs());
    const qint64 unheardMs = m_format.framesToMs(std::max<qint64>(unheard, 0));
    if (!m_drainClock.isValid()) {
        m_drainClock.start();
        m_drainLimitMs = unheardMs + drainSlackMs;
    }
    if (unheard > 0 && m_drainClock.elapsed() < m_drainLimitMs) {
        const std::chrono::milliseconds untilNearlyHeard(unheardMs - pollInterval.count());
        m_pollTimer.start(std::max<std::chrono::milliseconds>(untilNearlyHeard, pollInterval));
        return;
    }
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
