#include "platform/LockFileInstanceGuard.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

#include <unistd.h>

namespace {

// One copy of the helper: started, then told to ask, then answering "0" or "-1".
class Copy
{
public:
    explicit Copy(const QProcessEnvironment &environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(TAPEWREN_PLATFORM_HELPER), {QStringLiteral("guard")});
    }
    ~Copy()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    bool waitReady() { return readLine() == "ready"; }
    void ask() { m_process.write("go\n"); }
    QByteArray answer() { return readLine(); }
    QByteArray askAndWait()
    {
        if (!waitReady())
            return "not ready";
        ask();
        return answer();
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    void endAtOnce()
    {
        m_process.write("end\n");
        m_process.waitForFinished();
    }
    void endNormally()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished();
    }
    void killHard()
    {
        m_process.kill(); // SIGKILL: nothing of the copy runs any more
        m_process.waitForFinished();
    }

private:
    QByteArray readLine()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000))
                return "no answer";
        }
        return m_process.readLine().trimmed();
    }

    QProcess m_process;
};

} // namespace

class InstanceGuardTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void prevInstance_isTrue_onlyWhileAnotherCopyRuns();
    void prevInstance_isFalse_afterHolderWasKilled();
    void prevInstance_isFalseForExactlyOne_whenStartedTogether_data();
    void prevInstance_isFalseForExactlyOne_whenStartedTogether();
    void prevInstance_separatesDesktopSessions_data();
    void prevInstance_separatesDesktopSessions();
    void prevInstance_usesTempFolder_withoutRuntimeFolder();
    void immediateEnd_leavesNoLockFileBehind();

private:
    QProcessEnvironment environment(const QString &display = QStringLiteral(":7")) const;

    std::unique_ptr<QTemporaryDir> m_runtimeDir;
};

void InstanceGuardTest::init()
{
    m_runtimeDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtimeDir->isValid());
}

QProcessEnvironment InstanceGuardTest::environment(const QString &display) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir->path());
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

void InstanceGuardTest::prevInstance_isTrue_onlyWhileAnotherCopyRuns()
{
    Copy first(environment());
    QCOMPARE(first.askAndWait(), QByteArray("0"));
    {
        Copy second(environment());
        QCOMPARE(second.askAndWait(), QByteArray("-1"));
        second.endNormally();
    }
    QVERIFY(first.running());
    // The first copy still holds the lock after the second one has gone.
    Copy third(environment());
    QCOMPARE(third.askAndWait(), QByteArray("-1"));

    first.endNormally();
    Copy fourth(environment());
    QCOMPARE(fourth.askAndWait(), QByteArray("0"));
}

void InstanceGuardTest::prevInstance_isFalse_afterHolderWasKilled()
{
    Copy holder(environment());
    QCOMPARE(holder.askAndWait(), QByteArray("0"));
    holder.killHard();
    // The dead holder's lock file is left behind: the next copy must take it over.
    QVERIFY(QFileInfo::exists(LockFileInstanceGuard::lockFilePathFor(environment())));

    Copy next(environment());
    QCOMPARE(next.askAndWait(), QByteArray("0"));
    Copy another(environment());
    QCOMPARE(another.askAndWait(), QByteArray("-1"));
}

void InstanceGuardTest::prevInstance_isFalseForExactlyOne_whenStartedTogether_data()
{
    QTest::addColumn<bool>("deadHolderFirst");
    QTest::newRow("no lock yet") << false;
    QTest::newRow("lock of a killed copy") << true;
}

void InstanceGuardTest::prevInstance_isFalseForExactlyOne_whenStartedTogether()
{
    QFETCH(bool, deadHolderFirst);
    constexpr int copyCount = 8;
    constexpr int rounds = 5;

    for (int round = 0; round < rounds; ++round) {
        if (deadHolderFirst) {
            Copy holder(environment());
            QCOMPARE(holder.askAndWait(), QByteArray("0"));
            holder.killHard();
        }
        std::vector<std::unique_ptr<Copy>> copies;
        for (int i = 0; i < copyCount; ++i)
            copies.push_back(std::make_unique<Copy>(environment()));
        for (const auto &copy : copies)
            QVERIFY(copy->waitReady());
        // All are up and waiting; they now ask within a few microseconds of each other.
        for (const auto &copy : copies)
            copy->ask();
        int holders = 0;
        for (const auto &copy : copies) {
            const QByteArray answer = copy->answer();
            QVERIFY2(answer == "0" || answer == "-1", answer.constData());
            holders += answer == "0" ? 1 : 0;
        }
        QCOMPARE(holders, 1);
        copies.clear();
        QFile::remove(LockFileInstanceGuard::lockFilePathFor(environment()));
    }
}

void InstanceGuardTest::prevInstance_separatesDesktopSessions_data()
{
    QTest::addColumn<QString>("firstDisplay");
    QTest::addColumn<QString>("firstWayland");
    QTest::addColumn<QString>("secondDisplay");
    QTest::addColumn<QString>("secondWayland");
    QTest::addColumn<QByteArray>("secondAnswer");

    QTest::newRow("same X display") << ":7"
                                    << ""
                                    << ":7"
                                    << "" << QByteArray("-1");
    QTest::newRow("two X displays") << ":7"
                                    << ""
                                    << ":8"
                                    << "" << QByteArray("0");
    QTest::newRow("two Wayland displays, one X") << ":7"
                                                 << "wayland-0"
                                                 << ":7"
                                                 << "wayland-1" << QByteArray("0");
    QTest::newRow("Wayland path and its X display") << ":7"
                                                    << "/run/user/0/wayland-0"
                                                    << ":7"
                                                    << "" << QByteArray("0");
}

void InstanceGuardTest::prevInstance_separatesDesktopSessions()
{
    QFETCH(QString, firstDisplay);
    QFETCH(QString, firstWayland);
    QFETCH(QString, secondDisplay);
    QFETCH(QString, secondWayland);
    QFETCH(QByteArray, secondAnswer);

    QProcessEnvironment firstEnvironment = environment(firstDisplay);
    if (!firstWayland.isEmpty())
        firstEnvironment.insert(QStringLiteral("WAYLAND_DISPLAY"), firstWayland);
    QProcessEnvironment secondEnvironment = environment(secondDisplay);
    if (!secondWayland.isEmpty())
        secondEnvironment.insert(QStringLiteral("WAYLAND_DISPLAY"), secondWayland);

    Copy first(firstEnvironment);
    QCOMPARE(first.askAndWait(), QByteArray("0"));
    Copy second(secondEnvironment);
    QCOMPARE(second.askAndWait(), secondAnswer);
    // The lock stays inside the runtime folder whatever the display's name holds.
    QCOMPARE(QFileInfo(LockFileInstanceGuard::lockFilePathFor(firstEnvironment)).absolutePath(),
             QFileInfo(m_runtimeDir->path()).absoluteFilePath());
}

void InstanceGuardTest::prevInstance_usesTempFolder_withoutRuntimeFolder()
{
    QProcessEnvironment noRuntime = environment();
    noRuntime.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    noRuntime.insert(QStringLiteral("TMPDIR"), m_runtimeDir->path());

    Copy first(noRuntime);
    QCOMPARE(first.askAndWait(), QByteArray("0"));
    Copy second(noRuntime);
    QCOMPARE(second.askAndWait(), QByteArray("-1"));

    const QFileInfo lock(LockFileInstanceGuard::lockFilePathFor(noRuntime));
    QVERIFY(lock.exists());
    QCOMPARE(lock.absolutePath(), QFileInfo(m_runtimeDir->path()).absoluteFilePath());
    QVERIFY(lock.fileName().contains(QString::number(::getuid())));
}

void InstanceGuardTest::immediateEnd_leavesNoLockFileBehind()
{
    Copy holder(environment());
    QCOMPARE(holder.askAndWait(), QByteArray("0"));
    const QString lockFile = LockFileInstanceGuard::lockFilePathFor(environment());
    QVERIFY(QFileInfo::exists(lockFile));

    holder.endAtOnce();

    QVERIFY(!QFileInfo::exists(lockFile));
    Copy next(environment());
    QCOMPARE(next.askAndWait(), QByteArray("0"));
}

QTEST_GUILESS_MAIN(InstanceGuardTest)
#include "tst_instanceguard.moc"
