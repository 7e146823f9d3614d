#pragma once

#include <QObject>
#include <QString>

#include <optional>

class Clock;
class FreeSpace;
class MediaControl;
class QTimer;
class WarningLine;

// While recording, the free space of the disk the take is spooled to, measured every few
// seconds (on the recording clock's ticks) against the take's byte rate: with less than ten
// minutes left, the warning line says how many.
class SpaceWatch : public QObject
{
    Q_OBJECT

public:
    SpaceWatch(MediaControl &MMCRecord,
               FreeSpace &freeSpace,
               Clock &clock,
               QTimer *TimerBar,
               WarningLine &warnings);

    // "磁盘空间只够再录 N 分钟" (whole minutes) when freeBytes last less than ten minutes at
    // bytesPerSecond; empty otherwise, and for an unknown rate.
    static QString forecast(qint64 freeBytes, qint64 bytesPerSecond);

private:
    void begin();
    void end();
    void onClockTick();
    void onMeasured(qint64 freeBytes);
    void ask();

    MediaControl &m_MMCRecord;
    FreeSpace &m_freeSpace;
    Clock &m_clock;
    WarningLine &m_warnings;
    bool m_recording = false;
    std::optional<qint64> m_askedAt; // the clock at the last question, from the first tick on
};
