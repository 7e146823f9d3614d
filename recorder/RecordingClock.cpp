#include "recorder/RecordingClock.h"

#include <cstdlib>

QString RecordingClock::text(qint64 elapsedSeconds)
{
    const qint64 seconds = std::llabs(elapsedSeconds);
    return QStringLiteral("录音时间：%1分%2秒").arg(seconds / 60).arg(seconds % 60);
}
