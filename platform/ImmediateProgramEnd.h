#pragma once

#include "platform/ProgramEnd.h"

#include <functional>

class ImmediateProgramEnd : public ProgramEnd
{
public:
    // releaseLocks runs just before the end, so that no lock file of this copy outlives it.
    explicit ImmediateProgramEnd(std::function<void()> releaseLocks = {});

    [[noreturn]] void end() override;

private:
    std::function<void()> m_releaseLocks;
};
