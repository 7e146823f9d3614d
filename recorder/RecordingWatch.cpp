#include "recorder/RecordingWatch.h"

#include "media/MediaControl.h"
#include "platform/SleepInhibitor.h"

#include <QLabel>
#include <QProgressBar>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// Often enough for the warning to come and go on time, and to let go of the desktop soon
// after the clock stops.
constexpr auto tickInterval = 250ms;

const QString InhibitReason = QStringLiteral("正在录音");

} // namespace

RecordingWatch::RecordingWatch(const Controls &controls,
                               MediaControl &MMCRecord,
                               SleepInhibitor &inhibitor)
    : m_c(controls)
    , m_inhibitor(inhibitor)
{
    m_tick.setInterval(tickInterval);
    connect(&m_tick, &QTimer::timeout, this, &RecordingWatch::refresh);
    connect(&MMCRecord, &MediaControl::InputLevel, this, &RecordingWatch::onLevel);
    // Until the clock's first tick the file line still holds the file's long name.
    connect(m_c.TimerBar, &QTimer::timeout, this, [this] {
        if (m_running && !m_clockShown) {
            m_clockShown = true;
            refresh();
        }
    });
}

void RecordingWatch::begin()
{
    m_clock.start();
    m_monitor.start(0);
    m_running = true;
    m_clockShown = false;
    m_tick.start();
    m_inhibitor.inhibit(InhibitReason);
    show(m_monitor.update(0));
}

void RecordingWatch::onLevel(double peakDb, bool clipped)
{
    if (!m_running)
        return;
    m_monitor.measured(peakDb, clipped, m_clock.elapsed());
    refresh();
}

void RecordingWatch::refresh()
{
    if (!m_c.TimerBar->isActive())
        return end();
    show(m_monitor.update(m_clock.elapsed()));
}

void RecordingWatch::end()
{
    m_running = false;
    m_tick.stop();
    m_c.meter->hide();
    m_c.clipMark->hide();
    m_c.lblNoSignal->hide();
    m_inhibitor.release();
}

void RecordingWatch::show(const LevelMonitor::Shown &shown)
{
    // setValue repaints only when the value changes
    m_c.meter->setValue(shown.meterDb);
    m_c.meter->setVisible(m_clockShown && !shown.noSignal);
    m_c.clipMark->setVisible(m_clockShown && !shown.noSignal && shown.clip);
    m_c.lblNoSignal->setVisible(m_clockShown && shown.noSignal);
}
