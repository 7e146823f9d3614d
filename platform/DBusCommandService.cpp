#include "platform/DBusCommandService.h"

#include "platform/CommandBusNames.h"
#include "platform/CommandHandler.h"
#include "platform/PlatformLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

// RequestName's flag and answer, as the bus daemon defines them.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;

} // namespace

DBusCommandService::DBusCommandService(std::function<QDBusConnection()> bus)
    : m_bus(std::move(bus))
{}

void DBusCommandService::offer(CommandHandler &handler)
{
    m_handler = &handler;
    m_work.run(m_bus, [this](const QDBusConnection &bus) { claim(bus); });
}

void DBusCommandService::claim(const QDBusConnection &bus)
{
    if (!bus.isConnected()) {
        qCInfo(lcPlatform) << "no session bus: other processes cannot hand this copy commands";
        return;
    }
    // registering is bookkeeping inside this process; only the name needs the bus daemon
    QDBusConnection connection = bus;
    if (!connection.registerObject(CommandBusNames::path,
                                   CommandBusNames::interface,
                                   this,
                                   QDBusConnection::ExportScriptableSlots
                                           | QDBusConnection::ExportScriptableProperties)) {
        qCWarning(lcPlatform) << "cannot offer the commands on the session bus:"
                              << connection.lastError().message();
        return;
    }
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("RequestName"));
    request << CommandBusNames::service << doNotQueue;
    auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(request), this);
    connect(watcher,
            &QDBusPendingCallWatcher::finished,
            this,
            [connection](QDBusPendingCallWatcher *call) mutable {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isValid() && reply.value() == primaryOwner)
                    return;
                qCWarning(lcPlatform) << "the bus name" << CommandBusNames::service
                                      << "is not this copy's:" << reply.error().message();
                connection.unregisterObject(CommandBusNames::path);
            });
}

QString DBusCommandService::State() const
{
    return m_handler ? m_handler->state() : QString();
}

void DBusCommandService::Record(uint stopAfterSeconds)
{
    answer(RemoteCommand::Record, std::chrono::seconds(stopAfterSeconds));
}

void DBusCommandService::Stop()
{
    answer(RemoteCommand::Stop, std::chrono::seconds(0));
}

void DBusCommandService::Toggle()
{
    answer(RemoteCommand::Toggle, std::chrono::seconds(0));
}

void DBusCommandService::answer(RemoteCommand command, std::chrono::seconds stopAfter)
{
    const Result<> done = m_handler->command(command, stopAfter);
    if (!done.ok())
        sendErrorReply(CommandBusNames::refused, done.reason());
}
