#pragma once

#include "platform/ProgramEnd.h"

class ImmediateProgramEnd : public ProgramEnd
{
public:
    [[noreturn]] void end() override;
};
