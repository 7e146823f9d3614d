#pragma once

#include <cstdlib>

// Ends the whole program at once: no later statement and no further handler runs.
class ProgramEnd
{
public:
    virtual ~ProgramEnd() = default;
    [[noreturn]] void end()
    {
        endWith(0);
        std::abort(); // not reached: the compiler does not carry noreturn through the virtual call
    }
    // status is what the process gives back to whoever started it.
    [[noreturn]] virtual void endWith(int status) = 0;
};
