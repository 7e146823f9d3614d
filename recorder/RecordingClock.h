#pragma once

#include <QString>

// The recording time shown while recording: "录音时间：" M "分" S "秒".
class RecordingClock
{
public:
    // Minutes and seconds come from one elapsed value, so a minute boundary cannot show a
    // stale pair; minutes keep counting past the hour. A negative value (the clock was set
    // back) shows its absolute value.
    static QString text(qint64 elapsedSeconds);
    // "M分S秒" alone, the same way.
    static QString minutesSeconds(qint64 seconds);
};
