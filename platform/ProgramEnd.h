#pragma once

// Ends the whole program at once: no later statement and no further handler runs.
class ProgramEnd
{
public:
    virtual ~ProgramEnd() = default;
    [[noreturn]] virtual void end() = 0;
};
