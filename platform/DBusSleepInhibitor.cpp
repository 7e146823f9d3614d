#include "platform/DBusSleepInhibitor.h"

#include "platform/PlatformLog.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <fcntl.h>

namespace {

// A service that is there answers at once; one that is being started may take a moment.
constexpr int callTimeoutMs = 1000;
// The portal's flags: suspend and idle.
constexpr quint32 portalSuspendAndIdle = 4 | 8;

QDBusMessage call(const QDBusConnection &bus,
                  const QString &service,
                  const QString &path,
                  const QString &interface,
                  const QString &method,
                  const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, callTimeoutMs);
}

bool answered(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

QString applicationName()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Tapewren") : name;
}

} // namespace

DBusSleepInhibitor::~DBusSleepInhibitor()
{
    release();
}

void DBusSleepInhibitor::inhibit(const QString &reason)
{
    if (m_held)
        return;
    m_held = true;
    if (inhibitByPortal(reason))
        return;
    const bool blanking = inhibitScreenSaver(reason);
    const bool sleeping = inhibitLogind(reason);
    if (!blanking && !sleeping)
        qCInfo(lcPlatform) << "no service answered the request to keep the machine awake;"
                              " recording goes on without it";
}

void DBusSleepInhibitor::release()
{
    if (!m_held)
        return;
    m_held = false;
    if (!m_portalRequest.isEmpty()) {
        call(QDBusConnection::sessionBus(),
             QStringLiteral("org.freedesktop.portal.Desktop"),
             m_portalRequest,
             QStringLiteral("org.freedesktop.portal.Request"),
             QStringLiteral("Close"),
             {});
        m_portalRequest.clear();
    }
    if (m_screenSaverHeld) {
        call(QDBusConnection::sessionBus(),
             QStringLiteral("org.freedesktop.ScreenSaver"),
             QStringLiteral("/org/freedesktop/ScreenSaver"),
             QStringLiteral("org.freedesktop.ScreenSaver"),
             QStringLiteral("UnInhibit"),
             {m_screenSaverCookie});
        m_screenSaverHeld = false;
    }
    m_logindLock.reset();
}

bool DBusSleepInhibitor::inhibitByPortal(const QString &reason)
{
    const QDBusMessage reply = call(QDBusConnection::sessionBus(),
                                    QStringLiteral("org.freedesktop.portal.Desktop"),
                                    QStringLiteral("/org/freedesktop/portal/desktop"),
                                    QStringLiteral("org.freedesktop.portal.Inhibit"),
                                    QStringLiteral("Inhibit"),
                                    {QString(),
                                     portalSuspendAndIdle,
                                     QVariantMap{{QStringLiteral("reason"), reason}}});
    if (!answered(reply))
        return false;
    m_portalRequest = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    return !m_portalRequest.isEmpty();
}

bool DBusSleepInhibitor::inhibitScreenSaver(const QString &reason)
{
    const QDBusMessage reply = call(QDBusConnection::sessionBus(),
                                    QStringLiteral("org.freedesktop.ScreenSaver"),
                                    QStringLiteral("/org/freedesktop/ScreenSaver"),
                                    QStringLiteral("org.freedesktop.ScreenSaver"),
                                    QStringLiteral("Inhibit"),
                                    {applicationName(), reason});
    if (!answered(reply))
        return false;
    m_screenSaverCookie = reply.arguments().constFirst().toUInt();
    m_screenSaverHeld = true;
    return true;
}

bool DBusSleepInhibitor::inhibitLogind(const QString &reason)
{
    const QDBusMessage reply = call(QDBusConnection::systemBus(),
                                    QStringLiteral("org.freedesktop.login1"),
                                    QStringLiteral("/org/freedesktop/login1"),
                                    QStringLiteral("org.freedesktop.login1.Manager"),
                                    QStringLiteral("Inhibit"),
                                    {QStringLiteral("sleep:idle"),
                                     applicationName(),
                                     reason,
                                     QStringLiteral("block")});
    if (!answered(reply))
        return false;
    const auto lock = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    if (!lock.isValid())
        return false;
    // The reply's descriptor closes with the message: keep a copy of our own.
    m_logindLock.reset(::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0));
    return m_logindLock.isValid();
}
