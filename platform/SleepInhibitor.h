#pragma once

#include <QString>

// Asks the desktop not to suspend the machine or blank the screen for idleness, for as long as
// it is held. Taking it when it is held, or letting go when it is not, does nothing.
class SleepInhibitor
{
public:
    virtual ~SleepInhibitor() = default;
    virtual void inhibit(const QString &reason) = 0;
    virtual void release() = 0;
};
