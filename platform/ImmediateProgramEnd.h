#pragma once

#include "platform/ProgramEnd.h"

#include <functional>

class ImmediateProgramEnd : public ProgramEnd
{
public:
    // release runs just before the end: what this copy holds (its instance lock, the desktop's
    // inhibit) is given back rather than outliving it.
    explicit ImmediateProgramEnd(std::function<void()> release = {});

    [[noreturn]] void endWith(int status) override;

private:
    std::function<void()> m_release;
};
