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
// level, the warning line (no sound arrives, and what other sources add), and no sleep. The
// display moves with the recording clock's ticks, from the first one on (until then the file
// line holds the file's name).
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

private:
    void begin();
    void end();
    void onLevel(double peakDb, bool clipped);
    void onClockTick();
    void show(const LevelMonitor::Shown &shown);

    Controls m_c;
    WarningLine m_warnings;
    SleepInhibitor &m_inhibitor;
    LevelMonitor m_monitor;
    QElapsedTimer m_clock;
    bool m_running = false;
    bool m_clockShown = false; // the clock's text has replaced the file line's name
};
