#pragma once

#include "core/Result.h"
#include "platform/CommandHandler.h"

#include <chrono>

// The other side: hands one command to the copy that owns the bus name, and waits for its
// answer. For a process that has no window of its own.
class DBusCommandSender
{
public:
    // Waits up to waitForCopy for a copy to take the name (one that is just starting). True:
    // the copy took the command; false: no copy answers; a failure: the copy refused it, or
    // did not answer, and why.
    static Result<bool> send(RemoteCommand command,
                             std::chrono::seconds stopAfter,
                             std::chrono::milliseconds waitForCopy);
};
