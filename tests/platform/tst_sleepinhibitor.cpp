#include "platform/DBusSleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QMutex>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QVariantMap>

#include <poll.h>
#include <unistd.h>

// The inhibitor against stand-ins for the desktop's services on a private bus (run under
// dbus-run-session; the "system" bus is the same private bus, so logind can be stood in for).
// The stand-ins live in a thread of their own and answer in turn; the first answer may come late,
// as from a service being started. The inhibitor waits a second for the portal.
namespace {

QStringList sorted(QStringList calls) // calls over the two buses may cross
{
    calls.sort();
    return calls;
}

class CallLog
{
public:
    void add(const QString &call)
    {
        const QMutexLocker locker(&m_mutex);
        m_calls << call;
    }
    QStringList calls() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_calls;
    }

    QAtomicInt lateMs; // before the first answer

private:
    mutable QMutex m_mutex;
    QStringList m_calls;
};

class FakeRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    explicit FakeRequest(CallLog &log)
        : m_log(log)
    {}

public slots:
    void Close() { m_log.add(QStringLiteral("portal Close")); }

private:
    CallLog &m_log;
};

class FakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public:
    FakePortal(CallLog &log, QDBusConnection bus)
        : m_log(log)
        , m_request(log)
        , m_bus(bus)
    {}

public slots:
    QDBusObjectPath Inhibit(const QString &, uint flags, const QVariantMap &options)
    {
        m_log.add(QStringLiteral("portal Inhibit %1 %2")
                          .arg(flags)
                          .arg(options.value(QStringLiteral("reason")).toString()));
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/1/t");
        m_bus.registerObject(path, &m_request, QDBusConnection::ExportAllSlots);
        QThread::msleep(m_log.lateMs.fetchAndStoreRelaxed(0));
        return QDBusObjectPath(path);
    }

private:
    CallLog &m_log;
    FakeRequest m_request;
    QDBusConnection m_bus;
};

class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    explicit FakeScreenSaver(CallLog &log)
        : m_log(log)
    {}

public slots:
    uint Inhibit(const QString &, const QString &reason)
    {
        m_log.add(QStringLiteral("screensaver Inhibit ") + reason);
        QThread::msleep(m_log.lateMs.fetchAndStoreRelaxed(0));
        return m_cookie++;
    }
    void UnInhibit(uint cookie)
    {
        m_log.add(QStringLiteral("screensaver UnInhibit %1").arg(cookie));
    }

private:
    CallLog &m_log;
    uint m_cookie = 42;
};

class FakeLogind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit FakeLogind(CallLog &log)
        : m_log(log)
    {}
    ~FakeLogind() override
    {
        if (m_held >= 0)
            ::close(m_held);
    }

    // Whether the inhibitor still holds the descriptor it was given.
    bool held() const
    {
        pollfd watch{m_held, POLLIN, 0};
        return m_held >= 0 && ::poll(&watch, 1, 0) == 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what,
                                    const QString &,
                                    const QString &,
                                    const QString &mode)
    {
        m_log.add(QStringLiteral("logind Inhibit %1 %2").arg(what, mode));
        int ends[2];
        if (::pipe(ends) != 0)
            return {};
        m_held = ends[0];
        QDBusUnixFileDescriptor given(ends[1]); // keeps a copy of its own
        ::close(ends[1]);
        QThread::msleep(m_log.lateMs.fetchAndStoreRelaxed(0));
        return given;
    }

private:
    CallLog &m_log;
    int m_held = -1; // reads end-of-file once every copy of the other end is closed
};

// The desktop's services as a session may offer them, in a thread of their own.
class FakeDesktop : public QThread
{
public:
    FakeDesktop(bool portal, bool screenSaver, bool logind, int lateMs = 0)
        : m_portal(portal)
        , m_screenSaver(screenSaver)
        , m_logind(logind)
    {
        log.lateMs = lateMs;
    }
    ~FakeDesktop() override
    {
        quit();
        wait();
    }

    CallLog log;
    FakeLogind *logind = nullptr;
    QAtomicInt ready;

protected:
    void run() override
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                            QStringLiteral("desktop"));
        FakePortal portal(log, bus);
        FakeScreenSaver screenSaver(log);
        FakeLogind login(log);
        logind = &login;
        if (m_portal) {
            bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                               &portal,
                               QDBusConnection::ExportAllSlots);
            bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        }
        if (m_screenSaver) {
            bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"),
                               &screenSaver,
                               QDBusConnection::ExportAllSlots);
            bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
        }
        if (m_logind) {
            bus.registerObject(QStringLiteral("/org/freedesktop/login1"),
                               &login,
                               QDBusConnection::ExportAllSlots);
            bus.registerService(QStringLiteral("org.freedesktop.login1"));
        }
        ready = 1;
        exec();
        logind = nullptr;
        bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        bus.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        bus.unregisterService(QStringLiteral("org.freedesktop.login1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    }

private:
    bool m_portal;
    bool m_screenSaver;
    bool m_logind;
};

} // namespace

class tst_SleepInhibitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void inhibit_usesWhatTheSessionOffers_andLetsGo_data();
    void inhibit_usesWhatTheSessionOffers_andLetsGo();
    void lateAnswers_areUndoneAfterRelease_andNothingWaits_data();
    void lateAnswers_areUndoneAfterRelease_andNothingWaits();
};

void tst_SleepInhibitor::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a private session bus (run under dbus-run-session)");
}

void tst_SleepInhibitor::inhibit_usesWhatTheSessionOffers_andLetsGo_data()
{
    QTest::addColumn<bool>("portal");
    QTest::addColumn<bool>("screenSaver");
    QTest::addColumn<bool>("logind");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QStringList>("released");

    QTest::newRow("portal") << true << true << true << QStringList{"portal Inhibit 12 正在录音"}
                            << QStringList{"portal Close"};
    QTest::newRow("screen saver and logind")
            << false << true << true
            << QStringList{"screensaver Inhibit 正在录音", "logind Inhibit sleep:idle block"}
            << QStringList{"screensaver UnInhibit 42"};
    QTest::newRow("logind alone") << false << false << true
                                  << QStringList{"logind Inhibit sleep:idle block"}
                                  << QStringList{};
    QTest::newRow("nothing") << false << false << false << QStringList{} << QStringList{};
}

void tst_SleepInhibitor::inhibit_usesWhatTheSessionOffers_andLetsGo()
{
    QFETCH(bool, portal);
    QFETCH(bool, screenSaver);
    QFETCH(bool, logind);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, released);

    FakeDesktop desktop(portal, screenSaver, logind);
    desktop.start();
    QTRY_VERIFY(desktop.ready.loadAcquire());

    DBusSleepInhibitor inhibitor;
    inhibitor.inhibit(QStringLiteral("正在录音"));
    QTRY_COMPARE(sorted(desktop.log.calls()), sorted(taken));
    inhibitor.inhibit(QStringLiteral("正在录音")); // held already: nothing more is asked
    const bool logindHeld = taken.contains(QStringLiteral("logind Inhibit sleep:idle block"));
    QCOMPARE(desktop.logind->held(), logindHeld);

    inhibitor.release();
    QTRY_COMPARE(sorted(desktop.log.calls()), sorted(taken + released));
    QTRY_VERIFY(!desktop.logind->held());
    inhibitor.release();
}

void tst_SleepInhibitor::lateAnswers_areUndoneAfterRelease_andNothingWaits_data()
{
    QTest::addColumn<bool>("portal"); // the screen saver and logind are there in every row
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<int>("asked");            // calls before the release
    QTest::addColumn<bool>("again");           // taken again at once
    QTest::addColumn<QStringList>("settled");  // once every answer came
    QTest::addColumn<bool>("held");            // logind's lock, the last one given
    QTest::addColumn<QStringList>("released"); // at the last release

    const QString portal = QStringLiteral("portal Inhibit 12 正在录音");
    const QString screenSaver = QStringLiteral("screensaver Inhibit 正在录音");
    const QString logind = QStringLiteral("logind Inhibit sleep:idle block");
    // released before the wait for the portal ends: no one else is asked
    QTest::newRow("portal late") << true << 1500 << 1 << false
                                 << QStringList{portal, "portal Close"} << false << QStringList{};
    // the portal silent past its second: the other two are asked as well
    QTest::newRow("portal silent")
            << true << 2000 << 3 << false
            << QStringList{portal, screenSaver, logind, "portal Close", "screensaver UnInhibit 42"}
            << false << QStringList{};
    QTest::newRow("screen saver and logind late")
            << false << 500 << 1 << false
            << QStringList{screenSaver, logind, "screensaver UnInhibit 42"} << false
            << QStringList{};
    QTest::newRow("screen saver and logind late, taken again")
            << false << 500 << 1 << true
            << QStringList{screenSaver, screenSaver, logind, logind, "screensaver UnInhibit 42"}
            << true << QStringList{"screensaver UnInhibit 43"};
}

void tst_SleepInhibitor::lateAnswers_areUndoneAfterRelease_andNothingWaits()
{
    QFETCH(bool, portal);
    QFETCH(int, lateMs);
    QFETCH(int, asked);
    QFETCH(bool, again);
    QFETCH(QStringList, settled);
    QFETCH(bool, held);
    QFETCH(QStringList, released);
    FakeDesktop desktop(portal, true, true, lateMs);
    desktop.start();
    QTRY_VERIFY(desktop.ready.loadAcquire());
    // the longest this thread went without turning its event loop
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    tick.start(10);
    sinceTick.start();

    DBusSleepInhibitor inhibitor;
    inhibitor.inhibit(QStringLiteral("正在录音"));
    QTRY_COMPARE(desktop.log.calls().size(), asked);
    inhibitor.release();
    if (again)
        inhibitor.inhibit(QStringLiteral("正在录音"));
    QTRY_COMPARE(sorted(desktop.log.calls()), sorted(settled));
    QTRY_COMPARE(desktop.logind->held(), held);
    inhibitor.release();
    QTRY_COMPARE(sorted(desktop.log.calls()), sorted(settled + released));
    QTRY_VERIFY(!desktop.logind->held());
    QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("blocked for %1 ms").arg(longestGap)));
}

int main(int argc, char *argv[])
{
    // logind lives on the system bus; here the private bus stands in for it
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    QCoreApplication app(argc, argv);
    tst_SleepInhibitor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sleepinhibitor.moc"
