#include "platform/DBusSleepInhibitor.h"

#include "platform/PlatformLog.h"
#include "platform/UniqueFd.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QTimer>
#include <QVariantMap>

#include <fcntl.h>

#include <optional>

namespace {

// A portal that is there answers at once; one that is being started may take a moment. Past
// this the screen saver and logind are asked as well; the portal's answer is still taken.
constexpr int portalPatienceMs = 1000;
// The portal's flags: suspend and idle.
constexpr quint32 portalSuspendAndIdle = 4 | 8;

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage methodCall(const QString &service,
                        const QString &path,
                        const QString &interface,
                        const QString &method,
                        const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return message;
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

// Undoing needs no answer: the call is sent and not followed.
void closePortalRequest(const QString &request)
{
    QDBusConnection::sessionBus().send(methodCall(portalService,
                                                  request,
                                                  QStringLiteral("org.freedesktop.portal.Request"),
                                                  QStringLiteral("Close"),
                                                  {}));
}

void unInhibitScreenSaver(quint32 cookie)
{
    QDBusConnection::sessionBus().send(methodCall(screenSaverService,
                                                  screenSaverPath,
                                                  screenSaverService,
                                                  QStringLiteral("UnInhibit"),
                                                  {cookie}));
}

QVariantMap portalOptions(const QString &reason)
{
    return {{QStringLiteral("reason"), reason}};
}

} // namespace

// One inhibit, from inhibit() to release(), and what the services have given for it so far.
// The answers to a hold that was released are undone as they come.
struct DBusSleepInhibitor::Hold
{
    explicit Hold(const QString &why)
        : reason(why)
    {}

    QString reason;
    bool fellBack = false; // the screen saver and logind were asked
    int refusals = 0;      // of the screen saver and logind
    QString portalRequest; // the portal's handle for the inhibit
    std::optional<quint32> screenSaverCookie;
    UniqueFd logindLock; // logind holds the inhibit until this closes
};

DBusSleepInhibitor::~DBusSleepInhibitor()
{
    // Answers still on their way go unread; the services drop what this program holds when its
    // connection to the bus closes.
    release();
}

void DBusSleepInhibitor::inhibit(const QString &reason)
{
    if (m_hold)
        return;
    m_hold = std::make_shared<Hold>(reason);
    if (m_connected)
        askPortal(m_hold);
    else
        connectToBuses();
}

void DBusSleepInhibitor::release()
{
    if (!m_hold)
        return;
    const std::shared_ptr<Hold> hold = std::exchange(m_hold, nullptr);
    if (!hold->portalRequest.isEmpty())
        closePortalRequest(hold->portalRequest);
    if (hold->screenSaverCookie)
        unInhibitScreenSaver(*hold->screenSaverCookie);
    hold->logindLock.reset();
}

// Joining a bus waits for the bus's welcome: it is done once, away from the window's thread.
void DBusSleepInhibitor::connectToBuses()
{
    if (m_connecting.valid())
        return; // under way; the hold is asked for once connected
    m_connecting = std::async(std::launch::async, [this] {
        QDBusConnection::sessionBus();
        QDBusConnection::systemBus();
        QMetaObject::invokeMethod(
                &m_answers, [this] { onConnected(); }, Qt::QueuedConnection);
    });
}

void DBusSleepInhibitor::onConnected()
{
    m_connected = true;
    if (m_hold)
        askPortal(m_hold);
}

void DBusSleepInhibitor::askPortal(const std::shared_ptr<Hold> &hold)
{
    const QDBusMessage inhibit = methodCall(portalService,
                                            QStringLiteral("/org/freedesktop/portal/desktop"),
                                            QStringLiteral("org.freedesktop.portal.Inhibit"),
                                            QStringLiteral("Inhibit"),
                                            {QString(),
                                             portalSuspendAndIdle,
                                             portalOptions(hold->reason)});
    ask(QDBusConnection::sessionBus(), inhibit, [this, hold](const QDBusMessage &reply) {
        onPortalAnswer(hold, reply);
    });
    QTimer::singleShot(portalPatienceMs, &m_answers, [this, hold] {
        if (hold->portalRequest.isEmpty())
            fallBack(hold);
    });
}

void DBusSleepInhibitor::onPortalAnswer(const std::shared_ptr<Hold> &hold,
                                        const QDBusMessage &reply)
{
    const QString request = answered(reply)
                                    ? reply.arguments().constFirst().value<QDBusObjectPath>().path()
                                    : QString();
    if (request.isEmpty())
        fallBack(hold);
    else if (isHeld(*hold))
        hold->portalRequest = request;
    else
        closePortalRequest(request);
}

void DBusSleepInhibitor::fallBack(const std::shared_ptr<Hold> &hold)
{
    if (!isHeld(*hold) || hold->fellBack)
        return;
    hold->fellBack = true;
    askScreenSaver(hold);
    askLogind(hold);
}

void DBusSleepInhibitor::askScreenSaver(const std::shared_ptr<Hold> &hold)
{
    const QDBusMessage inhibit = methodCall(screenSaverService,
                                            screenSaverPath,
                                            screenSaverService,
                                            QStringLiteral("Inhibit"),
                                            {applicationName(), hold->reason});
    ask(QDBusConnection::sessionBus(), inhibit, [this, hold](const QDBusMessage &reply) {
        onScreenSaverAnswer(*hold, reply);
    });
}

void DBusSleepInhibitor::onScreenSaverAnswer(Hold &hold, const QDBusMessage &reply)
{
    if (!answered(reply))
        return refused(hold);
    const quint32 cookie = reply.arguments().constFirst().toUInt();
    if (isHeld(hold))
        hold.screenSaverCookie = cookie;
    else
        unInhibitScreenSaver(cookie);
}

void DBusSleepInhibitor::askLogind(const std::shared_ptr<Hold> &hold)
{
    const QDBusMessage inhibit = methodCall(QStringLiteral("org.freedesktop.login1"),
                                            QStringLiteral("/org/freedesktop/login1"),
                                            QStringLiteral("org.freedesktop.login1.Manager"),
                                            QStringLiteral("Inhibit"),
                                            {QStringLiteral("sleep:idle"),
                                             applicationName(),
                                             hold->reason,
                                             QStringLiteral("block")});
    ask(QDBusConnection::systemBus(), inhibit, [this, hold](const QDBusMessage &reply) {
        onLogindAnswer(*hold, reply);
    });
}

void DBusSleepInhibitor::onLogindAnswer(Hold &hold, const QDBusMessage &reply)
{
    const auto lock = answered(reply)
                              ? reply.arguments().constFirst().value<QDBusUnixFileDescriptor>()
                              : QDBusUnixFileDescriptor();
    if (!lock.isValid())
        return refused(hold);
    // The reply's descriptor closes with the message, which lets go of a released hold; a held
    // one keeps a copy of its own.
    if (!isHeld(hold))
        return;
    hold.logindLock.reset(::fcntl(lock.fileDescriptor(), F_DUPFD_CLOEXEC, 0));
    if (!hold.logindLock.isValid())
        refused(hold);
}

void DBusSleepInhibitor::refused(Hold &hold)
{
    if (++hold.refusals == 2 && isHeld(hold))
        qCInfo(lcPlatform) << "no service answered the request to keep the machine awake;"
                              " recording goes on without it";
}

void DBusSleepInhibitor::ask(const QDBusConnection &bus,
                             const QDBusMessage &call,
                             std::function<void(const QDBusMessage &)> onAnswer)
{
    if (!bus.isConnected()) {
        // Qt's pending call on a bus that is not there never finishes: no answer, now
        QTimer::singleShot(0, &m_answers, [onAnswer = std::move(onAnswer)] {
            onAnswer(QDBusMessage());
        });
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &m_answers);
    QObject::connect(watcher,
                     &QDBusPendingCallWatcher::finished,
                     &m_answers,
                     [watcher, onAnswer = std::move(onAnswer)] {
                         watcher->deleteLater();
                         onAnswer(watcher->reply());
                     });
}
