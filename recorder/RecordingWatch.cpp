#include "recorder/RecordingWatch.h"

#include "media/MediaControl.h"
#include "platform/SleepInhibitor.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {

const QString InhibitReason = QStringLiteral("正在录音");
const QString NoSignalText = QStringLiteral("未检测到声音输入");

} // namespace

RecordingWatch::RecordingWatch(const Controls &controls,
                               MediaControl &MMCRecord,
                               SleepInhibitor &inhibitor)
    : m_c(controls)
    , m_warnings(m_c.lblWarning, {m_c.meter, m_c.clipMark})
    , m_inhibitor(inhibitor)
{
    connect(&MMCRecord, &MediaControl::RecordingChanged, this, [this](bool recording) {
        if (recording)
            begin();
        else
            end();
    });
    connect(&MMCRecord, &MediaControl::InputLevel, this, &RecordingWatch::onLevel);
    connect(m_c.TimerBar, &QTimer::timeout, this, &RecordingWatch::onClockTick);
}

void RecordingWatch::begin()
{
    m_clock.start();
    m_monitor.start(0);
    m_running = true;
    m_clockShown = false;
    m_inhibitor.inhibit(InhibitReason);
}

void RecordingWatch::end()
{
    m_running = false;
    m_c.meter->hide();
    m_c.clipMark->hide();
    m_warnings.clear(WarningLine::NoSignal);
    m_warnings.setOn(false);
    m_inhibitor.release();
}

void RecordingWatch::onLevel(double peakDb, bool clipped)
{
    if (!m_running)
        return;
    m_monitor.measured(peakDb, clipped, m_clock.elapsed());
    if (m_clockShown)
        show(m_monitor.update(m_clock.elapsed()));
}

void RecordingWatch::onClockTick()
{
    if (!m_running)
        return;
    if (!m_clockShown)
        m_warnings.setOn(true);
    m_clockShown = true;
    show(m_monitor.update(m_clock.elapsed()));
}

void RecordingWatch::show(const LevelMonitor::Shown &shown)
{
    if (shown.noSignal)
        m_warnings.set(WarningLine::NoSignal, NoSignalText);
    else
        m_warnings.clear(WarningLine::NoSignal);
    const bool warned = !m_warnings.isEmpty();
    // setValue repaints only when the value changes
    m_c.meter->setValue(shown.meterDb);
    m_c.meter->setVisible(!warned);
    m_c.clipMark->setVisible(!warned && shown.clip);
}
