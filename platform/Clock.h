#pragma once

#include <QDateTime>

// The current local date and time, to the whole second.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};
