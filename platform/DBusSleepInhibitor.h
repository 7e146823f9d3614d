#pragma once

#include "platform/SleepInhibitor.h"

#include <QObject>
#include <QString>

#include <functional>
#include <future>
#include <memory>

class QDBusConnection;
class QDBusMessage;

// The inhibitor over D-Bus: the desktop portal where the session has one, otherwise the screen
// saver's inhibit (no blanking) and logind's (no suspend for idleness), each where it answers.
// No call is waited for: the answers come back on the event loop, and one that comes after its
// release is undone at once. When nothing answers, the program goes on without it; the log says
// so once per take.
class DBusSleepInhibitor : public SleepInhibitor
{
public:
    ~DBusSleepInhibitor() override;

    void inhibit(const QString &reason) override;
    void release() override;

private:
    struct Hold;

    void connectToBuses();
    void onConnected();
    void askPortal(const std::shared_ptr<Hold> &hold);
    void onPortalAnswer(const std::shared_ptr<Hold> &hold, const QDBusMessage &reply);
    void fallBack(const std::shared_ptr<Hold> &hold);
    void askScreenSaver(const std::shared_ptr<Hold> &hold);
    void onScreenSaverAnswer(Hold &hold, const QDBusMessage &reply);
    void askLogind(const std::shared_ptr<Hold> &hold);
    void onLogindAnswer(Hold &hold, const QDBusMessage &reply);
    void refused(Hold &hold);
    bool isHeld(const Hold &hold) const { return m_hold.get() == &hold; }
    void ask(const QDBusConnection &bus,
             const QDBusMessage &call,
             std::function<void(const QDBusMessage &)> onAnswer);

    std::shared_ptr<Hold> m_hold; // asked for since the last release; null when not held
    bool m_connected = false;
    QObject m_answers; // receives the answers still on their way; they go with it
    // Waited for when the inhibitor goes; declared after m_answers, which it may still reach.
    std::future<void> m_connecting;
};
