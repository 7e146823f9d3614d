#pragma once

#include "recorder/LevelMonitor.h"
#include "recorder/WarningLine.h"

#include <QElapsedTimer>
#include <QObject>

class MediaControl;
class QLabel;
class QProgressBar;
class QTimer;
class SleepInhibitor;

// What the window shows and asks of the desktop while the media control records: the input's
// level, the warning line (no sound arrives, sound that never arrived, and what other sources
// add), and no sleep. The display moves with the recording clock's ticks, from the first one on
// (until then the file line holds the file's name). Levels are asked for only while the window
// can be seen; sound that never arrived is told until the next take.
class RecordingWatch : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QProgressBar *meter = nullptr; // -60..0 dBFS
        QWidget *clipMark = nullptr;
        QLabel *lblWarning = nullptr;
        QTimer *TimerBar = nullptr; // the recording clock
    };

    RecordingWatch(const Controls &controls, MediaControl &MMCRecord, SleepInhibitor &inhibitor);

    // Where the other watches of a recording say what the user must know.
    WarningLine &warnings() { return m_warnings; }

protected:
    // The window shown, hidden, minimised or unmapped.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void begin();
    void end();
    void onLevel(double peakDb, bool clipped);
    void onSoundLost(qint64 lostMs);
    void onClockTick();
    void show(const LevelMonitor::Shown &shown);
    void levelsWanted(bool wanted);

    Controls m_c;
    MediaControl &m_MMCRecord;
    WarningLine m_warnings;
    SleepInhibitor &m_inhibitor;
    LevelMonitor m_monitor;
    QElapsedTimer m_clock;
    bool m_running = false;
    bool m_clockShown = false; // the clock's text has replaced the file line's name
    bool m_levelsWanted = true;
    bool m_clockResting = false; // the recording clock stopped while nobody can see it
    bool m_watchingSurface = false;
};
