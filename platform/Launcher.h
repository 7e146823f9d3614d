#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

// Opens web pages in the default browser and starts other programs, never waiting for them.
// Programs get an argument list, never a shell command line.
class Launcher
{
public:
    virtual ~Launcher() = default;
    virtual Result<> openUrl(const QString &address) = 0;
    virtual Result<> startDetached(const QString &program, const QStringList &arguments) = 0;
};
