#pragma once

#include "platform/ProgramFolder.h"

class ApplicationFolder : public ProgramFolder
{
public:
    QString path() const override;
};
