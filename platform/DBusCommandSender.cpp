#include "platform/DBusCommandSender.h"

#include "platform/CommandBusNames.h"
#include "platform/PlatformLog.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QThread>

namespace {

// A copy answers at once; one whose window hangs must not hang the sender as well.
constexpr int replyTimeoutMs = 5000;
constexpr unsigned long retryMs = 50;
const QString connectionName = QStringLiteral("tapewren-command");

QDBusMessage callFor(RemoteCommand command, std::chrono::seconds stopAfter)
{
    const auto method = [](const char *name) {
        return QDBusMessage::createMethodCall(CommandBusNames::service,
                                              CommandBusNames::path,
                                              CommandBusNames::interface,
                                              QString::fromLatin1(name));
    };
    QDBusMessage call;
    switch (command) {
    case RemoteCommand::Record:
        call = method("Record");
        call << uint(stopAfter.count());
        break;
    case RemoteCommand::Stop:
        call = method("Stop");
        break;
    case RemoteCommand::Toggle:
        call = method("Toggle");
        break;
    }
    // the command is for a copy that runs; the bus must not start one
    call.setAutoStartService(false);
    return call;
}

bool nobodyOwnsTheName(const QDBusMessage &reply)
{
    // NameHasNoOwner when the call asks the bus not to start a program for the name
    return QDBusError(reply).type() == QDBusError::ServiceUnknown
           || reply.errorName() == u"org.freedesktop.DBus.Error.NameHasNoOwner";
}

Result<bool> sendOn(QDBusConnection bus, const QDBusMessage &call, QDeadlineTimer waitForCopy)
{
    if (!bus.isConnected())
        return false;
    for (;;) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, replyTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        if (reply.errorName() == CommandBusNames::refused)
            return Failure(reply.errorMessage());
        if (!nobodyOwnsTheName(reply)) {
            qCInfo(lcPlatform) << "the running copy did not answer:" << reply.errorMessage();
            return Failure(QStringLiteral("正在运行的录音机没有回应。"));
        }
        if (waitForCopy.hasExpired())
            return false;
        QThread::msleep(retryMs);
    }
}

} // namespace

Result<bool> DBusCommandSender::send(RemoteCommand command,
                                     std::chrono::seconds stopAfter,
                                     std::chrono::milliseconds waitForCopy)
{
    const QDeadlineTimer deadline(waitForCopy);
    Result<bool> sent = false;
    {
        // a connection of its own, gone with this call
        const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                                  connectionName);
        sent = sendOn(bus, callFor(command, stopAfter), deadline);
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return sent;
}
