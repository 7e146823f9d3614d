#pragma once

#include "platform/Launcher.h"

// The desktop's browser through QDesktopServices, programs through QProcess.
class DesktopLauncher : public Launcher
{
public:
    Result<> openUrl(const QString &address) override;
    Result<> startDetached(const QString &program, const QStringList &arguments) override;
};
