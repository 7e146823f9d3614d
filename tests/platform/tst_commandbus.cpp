#include "platform/CommandBusNames.h"
#include "platform/DBusCommandSender.h"
#include "platform/DBusCommandService.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QTest>
#include <QTimer>

#include <future>

using namespace std::chrono_literals;

// Commands handed from one process to the copy that runs, on a private session bus (run under
// dbus-run-session). The sender waits for its answer, so it runs on a thread of its own while
// this one answers as the window's would.
namespace {

class ScriptedHandler : public CommandHandler
{
public:
    Result<> command(RemoteCommand command, std::chrono::seconds stopAfter) override
    {
        received << QStringLiteral("%1 %2").arg(int(command)).arg(stopAfter.count());
        return refusal.isEmpty() ? Result<>() : Failure(refusal);
    }
    QString state() const override { return QStringLiteral("recording"); }

    QStringList received; // "<command> <stop after>"
    QString refusal;
};

template<typename Call>
auto whileAnswering(Call call)
{
    auto done = std::async(std::launch::async, call);
    while (done.wait_for(0s) != std::future_status::ready)
        QTest::qWait(5);
    return done.get();
}

Result<bool> send(RemoteCommand command,
                  std::chrono::seconds stopAfter = 0s,
                  std::chrono::milliseconds wait = 0ms)
{
    return whileAnswering([=] { return DBusCommandSender::send(command, stopAfter, wait); });
}

} // namespace

class tst_CommandBus : public QObject
{
    Q_OBJECT

private slots:
    void commands_reachTheCopyThatRuns_orSayNoneRuns()
    {
        Result<bool> sent = send(RemoteCommand::Toggle); // no copy yet, and no waiting for one
        QVERIFY(sent.ok() && !sent.value());

        ScriptedHandler handler;
        DBusCommandService service;
        QTimer::singleShot(200, &service, [&] { service.offer(handler); });
        sent = send(RemoteCommand::Toggle, 0s, 5s); // one that is starting is waited for
        QVERIFY(sent.ok() && sent.value());
        sent = send(RemoteCommand::Record, 5400s);
        QVERIFY(sent.ok() && sent.value());
        QCOMPARE(handler.received, (QStringList{"2 0", "0 5400"}));

        handler.refusal = QStringLiteral("已经在录音。");
        sent = send(RemoteCommand::Record);
        QVERIFY(!sent.ok());
        QCOMPARE(sent.reason(), QStringLiteral("已经在录音。"));

        const QVariant state = whileAnswering([] {
            QDBusInterface copy(CommandBusNames::service,
                                CommandBusNames::path,
                                CommandBusNames::interface,
                                QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                              "reader"));
            return copy.property("State");
        });
        QCOMPARE(state.toString(), QStringLiteral("recording"));
    }
};

QTEST_GUILESS_MAIN(tst_CommandBus)
#include "tst_commandbus.moc"
