#pragma once

#include "core/Flag.h"

// Answers whether another copy of the program already runs for this user and desktop session.
// The first copy to ask holds the answer's lock for the rest of its run.
class InstanceGuard
{
public:
    virtual ~InstanceGuard() = default;
    virtual Flag PrevInstance() = 0;
};
