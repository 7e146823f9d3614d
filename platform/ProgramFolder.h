#pragma once

#include <QString>

// The folder of the program's executable, without a trailing separator.
class ProgramFolder
{
public:
    virtual ~ProgramFolder() = default;
    virtual QString path() const = 0;
};
