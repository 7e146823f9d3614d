#include "recorder/RecordingClock.h"

#include <cstdlib>

QString RecordingClock::text(qint64 elapsedSeconds)
{
    return QStringLiteral("录音时间：") + minutesSeconds(elapsedSeconds);
}

QString RecordingClock::minutesSeconds(qint64 seconds)
{
    const qint64 whole = std::llabs(seconds);
    return QStringLiteral("%1分%2秒").arg(whole / 60).arg(whole % 60);
}
