#include "platform/SystemClock.h"

QDateTime SystemClock::now() const
{
    // Whole seconds, so that differences of two readings count whole seconds only.
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
}

qint64 SystemClock::secsSinceEpoch() const
{
    return QDateTime::currentSecsSinceEpoch();
}
