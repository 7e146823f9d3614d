#include "recorder/RecordingWatch.h"

#include "media/MediaControl.h"
#include "platform/SleepInhibitor.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

const QString InhibitReason = QStringLiteral("正在录音");
const QString NoSignalText = QStringLiteral("未检测到声音输入");
const QString SoundLostText = QStringLiteral("丢失了 %1 秒声音，已用静音补齐");

} // namespace

RecordingWatch::RecordingWatch(const Controls &controls,
                               MediaControl &MMCRecord,
                               SleepInhibitor &inhibitor)
    : m_c(controls)
    , m_MMCRecord(MMCRecord)
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
    connect(&MMCRecord, &MediaControl::SoundLost, this, &RecordingWatch::onSoundLost);
    connect(m_c.TimerBar, &QTimer::timeout, this, &RecordingWatch::onClockTick);
    m_c.meter->window()->installEventFilter(this);
}

bool RecordingWatch::eventFilter(QObject *watched, QEvent *event)
{
    // The window's surface is what can be seen: hidden, minimised or unmapped by the desktop,
    // it is not exposed.
    QWidget *window = m_c.meter->window();
    if (watched == window && event->type() == QEvent::Show && window->windowHandle()
        && !m_watchingSurface) {
        window->windowHandle()->installEventFilter(this);
        m_watchingSurface = true;
    }
    if (watched == window && event->type() == QEvent::Hide)
        levelsWanted(false);
    if (watched == window->windowHandle() && event->type() == QEvent::Expose)
        levelsWanted(window->windowHandle()->isExposed());
    return false;
}

void RecordingWatch::levelsWanted(bool wanted)
{
    if (wanted == m_levelsWanted)
        return;
    m_levelsWanted = wanted;
    m_MMCRecord.setLevelWanted(wanted);
    // Nobody sees the clock either: it rests rather than wake the program five times a second,
    // and shows the right time again at its next tick.
    if (!wanted && m_running && m_c.TimerBar->isActive()) {
        m_c.TimerBar->stop();
        m_clockResting = true;
    } else if (wanted && m_clockResting) {
        m_clockResting = false;
        if (m_running)
            m_c.TimerBar->start();
    }
    // no readings came while nobody looked: silence is measured from now
    if (wanted)
        m_monitor.start(m_clock.elapsed());
}

void RecordingWatch::begin()
{
    m_clock.start();
    m_monitor.start(0);
    m_running = true;
    m_clockShown = false;
    m_warnings.clear(WarningLine::SoundLost);
    m_warnings.setOn(false);
    m_inhibitor.inhibit(InhibitReason);
}

void RecordingWatch::end()
{
    m_running = false;
    m_clockResting = false;
    m_c.meter->hide();
    m_c.clipMark->hide();
    m_warnings.clear(WarningLine::NoSignal);
    // what never arrived is told until the next take
    m_warnings.setOn(!m_warnings.isEmpty());
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

void RecordingWatch::onSoundLost(qint64 lostMs)
{
    m_warnings.set(WarningLine::SoundLost, SoundLostText.arg(double(lostMs) / 1000, 0, 'f', 1));
    m_warnings.setOn(true);
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
