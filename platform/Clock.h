#pragma once

#include <QDateTime>

// The current local date and time, to the whole second.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // The same reading as seconds since the epoch; a clock may give it without the local time.
    virtual qint64 secsSinceEpoch() const { return now().toSecsSinceEpoch(); }
};
