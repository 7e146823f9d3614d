#pragma once

#include "platform/SleepInhibitor.h"
#include "platform/UniqueFd.h"

#include <QString>
#include <QtGlobal>

// The inhibitor over D-Bus: the desktop portal where the session has one, otherwise the screen
// saver's inhibit (no blanking) and logind's (no suspend for idleness), each where it answers.
// When nothing answers, the program goes on without it; the log says so once per take.
class DBusSleepInhibitor : public SleepInhibitor
{
public:
    ~DBusSleepInhibitor() override;

    void inhibit(const QString &reason) override;
    void release() override;

private:
    bool inhibitByPortal(const QString &reason);
    bool inhibitScreenSaver(const QString &reason);
    bool inhibitLogind(const QString &reason);

    bool m_held = false;
    QString m_portalRequest; // the portal's handle for the inhibit; empty when not through it
    bool m_screenSaverHeld = false;
    quint32 m_screenSaverCookie = 0;
    UniqueFd m_logindLock; // logind holds the inhibit until this closes
};
