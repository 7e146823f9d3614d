#pragma once

#include "core/Version.h"
#include "platform/CommandHandler.h"
#include "platform/CommandService.h"
#include "platform/DetachedWork.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

#include <functional>

// The commands on the session bus: the well-known name after the app id, and on its one object
// the methods Record(u stopAfterSeconds), Stop() and Toggle() and the property State. A refused
// command answers with an error whose message is the reason.
//
// Nothing here waits on the bus on this object's thread: the connection is made on a thread of
// its own, the name is claimed with an asynchronous call, and each call is answered as soon as
// the handler has said yes or no.
class DBusCommandService : public QObject, public CommandService, protected QDBusContext
{
    Q_OBJECT
    // the interface the properties are read through
    Q_CLASSINFO("D-Bus Interface", TAPEWREN_APP_ID)
    Q_PROPERTY(QString State READ State)

public:
    // bus makes the connection (it may wait); the session bus unless a test says otherwise.
    explicit DBusCommandService(std::function<QDBusConnection()> bus = [] {
        return QDBusConnection::sessionBus();
    });

    void offer(CommandHandler &handler) override;

    QString State() const;

public slots:
    Q_SCRIPTABLE void Record(uint stopAfterSeconds);
    Q_SCRIPTABLE void Stop();
    Q_SCRIPTABLE void Toggle();

private:
    void claim(const QDBusConnection &bus);
    void answer(RemoteCommand command, std::chrono::seconds stopAfter);

    std::function<QDBusConnection()> m_bus;
    CommandHandler *m_handler = nullptr;
    DetachedWork m_work{this};
};
