#include "media/Playback.h"

#include "media/MediaLog.h"
#include "media/server/AudioOutput.h"
#include "media/take/Waveform.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto pollInterval = 20ms;
// How much longer than its clock says the sink may take to play what it holds; past this the
// sound is taken as heard even when the sink's clock lags or the drain is never confirmed.
constexpr qint64 drainSlackMs = 2000;

} // namespace

Playback::Playback(AudioOutput &output, QObject *parent)
    : QObject(parent)
    , m_output(output)
{
    connect(&m_pollTimer, &QTimer::timeout, this, &Playback::poll);
    m_drainLimit.setSingleShot(true);
    connect(&m_drainLimit, &QTimer::timeout, this, [this] {
        qCWarning(lcMedia) << "the output never confirmed that it played the end";
        finish();
    });
    connect(&m_output, &AudioOutput::idle, this, &Playback::onSourceDry);
    connect(&m_output, &AudioOutput::drained, this, &Playback::finish);
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
    m_reader.begin(waveform, startFrame);
    if (Result<> started = m_output.start(m_format.audioFormat(), &m_reader); !started.ok()) {
        m_reader.end();
        return started;
    }
    m_playing = true;
    m_draining = false;
    const std::chrono::milliseconds length(m_format.framesToMs(m_end - m_reader.startFrame()));
    m_pollTimer.start(std::clamp<std::chrono::milliseconds>(length, pollInterval, 1h));
    return {};
}

void Playback::stop()
{
    if (!m_playing)
        return;
    m_playing = false;
    m_pollTimer.stop();
    m_drainLimit.stop();
    m_output.stop();
    m_reader.end();
}

qint64 Playback::position() const
{
    if (!m_playing)
        return m_end;
    const qint64 heard = std::min(m_format.usToFrames(m_output.processedUSecs()),
                                  m_reader.framesRead());
    return std::min(m_reader.startFrame() + heard, m_end - 1);
}

qint64 Playback::unheardMs() const
{
    const qint64 unheard = m_reader.framesRead() - m_format.usToFrames(m_output.processedUSecs());
    return m_format.framesToMs(std::max<qint64>(unheard, 0));
}

void Playback::onSourceDry()
{
    if (!m_playing || m_draining)
        return;
    m_draining = true;
    m_pollTimer.stop();
    m_drainLimit.start(std::chrono::milliseconds(unheardMs() + drainSlackMs));
}

void Playback::poll()
{
    // only for an output that took everything without saying it ran dry
    if (!m_playing || m_draining || m_reader.startFrame() + m_reader.framesRead() < m_end)
        return;
    if (!m_drainLimit.isActive())
        m_drainLimit.start(std::chrono::milliseconds(unheardMs() + drainSlackMs));
    if (unheardMs() > 0) {
        m_pollTimer.start(pollInterval);
        return;
    }
    finish();
}

void Playback::finish()
{
    if (!m_playing)
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
