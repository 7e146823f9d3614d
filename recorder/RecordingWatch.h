#pragma once

#include "recorder/LevelMonitor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class MediaControl;
class QLabel;
class QProgressBar;
class SleepInhibitor;

// What the window shows and asks of the desktop while a recording runs: the input's level, a
// warning when no sound arrives, and no sleep. It follows the recording clock: once the clock
// no longer runs (Stop, a broken-off take, Play, Open, a save), the display hides and the
// desktop may sleep again.
class RecordingWatch : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QProgressBar *meter = nullptr; // -60..0 dBFS
        QWidget *clipMark = nullptr;
        QLabel *lblNoSignal = nullptr;
        QTimer *TimerBar = nullptr; // the recording clock
    };

    RecordingWatch(const Controls &controls, MediaControl &MMCRecord, SleepInhibitor &inhibitor);

    // A recording has started.
    void begin();

private:
    void onLevel(double peakDb, bool clipped);
    void refresh();
    void end();
    void show(const LevelMonitor::Shown &shown);

    Controls m_c;
    SleepInhibitor &m_inhibitor;
    LevelMonitor m_monitor;
    QElapsedTimer m_clock;
    QTimer m_tick;
    bool m_running = false;
    bool m_clockShown = false; // the clock's text has replaced the file line's name
};
