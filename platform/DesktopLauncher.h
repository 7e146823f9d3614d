#pragma once

#include "platform/Launcher.h"

// The desktop's browser through QDesktopServices, programs through QProcess; both return false
// on failure without a message.
class DesktopLauncher : public Launcher
{
public:
    bool openUrl(const QString &address) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
};
