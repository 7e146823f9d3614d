#include "platform/DesktopLauncher.h"
#include "platform/QtCommonDialog.h"
#include "platform/QtMessageBox.h"
#include "platform/RealPlatform.h"
#include "platform/SystemClock.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class ServicesTest : public QObject
{
    Q_OBJECT

private slots:
    void now_isLocalTime_toTheWholeSecond();
    void end_stopsAtOnce_withoutExitHandlersOrFlushing();
    void startDetached_passesArgumentsWithoutShell();
    void launcher_returnsFalse_whenNothingCanBeStarted();
    void realPlatform_providesEveryService();
};

void ServicesTest::now_isLocalTime_toTheWholeSecond()
{
    const SystemClock clock;
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = clock.now();
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(now.timeSpec(), Qt::LocalTime);
    QCOMPARE(now.time().msec(), 0);
    // Truncated, never rounded up past the moment of the reading.
    QVERIFY(now.toSecsSinceEpoch() >= before.toSecsSinceEpoch());
    QVERIFY(now <= after);
}

void ServicesTest::end_stopsAtOnce_withoutExitHandlersOrFlushing()
{
    QProcess helper;
    helper.start(QStringLiteral(TAPEWREN_PLATFORM_HELPER), {QStringLiteral("end")});
    QVERIFY(helper.waitForFinished(10000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    QCOMPARE(helper.readAllStandardOutput(), QByteArray("before\n"));
}

void ServicesTest::startDetached_passesArgumentsWithoutShell()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A shell would split this at the blank and the semicolon and run the substitution.
    const QString name = dir.filePath(QStringLiteral("a b;$(echo c) 录音.txt"));
    DesktopLauncher launcher;
    QVERIFY(launcher.startDetached(QStringLiteral("touch"), {name}).ok());
    QTRY_VERIFY(QFileInfo::exists(name));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QFileInfo(name).fileName()});
}

void ServicesTest::launcher_returnsFalse_whenNothingCanBeStarted()
{
    DesktopLauncher launcher;
    QVERIFY(!launcher.startDetached(QStringLiteral("/nonexistent/tapewren-no-such-program"), {})
                     .ok());
    QVERIFY(!launcher.startDetached(QString(), {}).ok());
    QVERIFY(!launcher.openUrl(QString()).ok());
    QVERIFY(!launcher.openUrl(QStringLiteral("not an address")).ok());
}

void ServicesTest::realPlatform_providesEveryService()
{
    RealPlatform platform;
    Platform &services = platform.services();
    QVERIFY(services.cdg && services.messageBox && services.clock && services.programEnd
            && services.launcher && services.programFolder && services.instanceGuard);
    QCOMPARE(static_cast<CommonDialog *>(&platform.commonDialog()), services.cdg.get());
    QCOMPARE(static_cast<MessageBox *>(&platform.messageBox()), services.messageBox.get());
    QCOMPARE(services.programFolder->path(), QCoreApplication::applicationDirPath());
}

QTEST_MAIN(ServicesTest)
#include "tst_services.moc"
