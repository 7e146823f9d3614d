#include "FakePlatform.h"
#include "PrivateSoundServer.h"
#include "SyntheticAudioInput.h"
#include "WaveWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

auto overrideEnvironment(const char *name, const QByteArray &value)
{
    const QByteArray old = qgetenv(name);
    const bool wasSet = qEnvironmentVariableIsSet(name);
    qputenv(name, value);
    return qScopeGuard([name, old, wasSet] {
        if (wasSet)
            qputenv(name, old);
        else
            qunsetenv(name);
    });
}

// Bytes held by files that process pid has open inside folder, named or not.
qint64 bytesOpenIn(qint64 pid, const QString &folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    qint64 bytes = -1;
    for (const QString &fd :
         QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString link = QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
        struct stat st = {};
        if (link.startsWith(folder + QLatin1Char('/'))
            && ::stat(QFile::encodeName(fds + QLatin1Char('/') + fd).constData(), &st) == 0)
            bytes = std::max(bytes, qint64(st.st_size));
    }
    return bytes;
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

} // namespace

// Nothing of a recording stays on disk once the program is gone: the spool has no name from
// the start, and a save writes its target in one step.
class tst_NoFileLeft : public QObject
{
    Q_OBJECT

private slots:
    void exit_leavesNoFile_data();
    void exit_leavesNoFile();
    void kill_whileRecording_leavesNoFile();
};

void tst_NoFileLeft::exit_leavesNoFile_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("saved");
    QTest::newRow("unsaved recording dropped") << int(MessageBox::No) << QStringList();
    QTest::newRow("recording saved first") << int(MessageBox::Yes) << QStringList{"take.wav"};
}

void tst_NoFileLeft::exit_leavesNoFile()
{
    QFETCH(int, answer);
    QFETCH(QStringList, saved);
    QTemporaryDir temp;
    QTemporaryDir target;
    const auto restore = overrideEnvironment("TMPDIR", QFile::encodeName(temp.path()));

    WaveWindow w;
    QVERIFY(w.click(w.ui().cmdRecord));
    w.input->push(QByteArray(44100 * 4, '\x11'));
    w.fakes.messageBox.answers.enqueue(answer);
    w.answerDialog(target.filePath(QStringLiteral("take.wav")));
    bool ended = false;
    try {
        w.frmMain->deliver(&FrmMain::cmdExit_Click);
    } catch (const ProgramEnded &) {
        ended = true;
    }
    QVERIFY(ended);
    QCOMPARE(entries(temp.path()), QStringList());
    QCOMPARE(entries(target.path()), saved);
}

void tst_NoFileLeft::kill_whileRecording_leavesNoFile()
{
    const QString program = qEnvironmentVariable("TAPEWREN_PROGRAM_DIR")
                            + QStringLiteral("/tapewren");
    if (!QFileInfo(program).isExecutable())
        QSKIP("the program is not built");
    if (qEnvironmentVariableIsEmpty("DISPLAY")
        || QStandardPaths::findExecutable("xdotool").isEmpty())
        QSKIP("needs a display and xdotool (scripts/with-test-env.sh)");

    // where Record sits in the window
    QPoint record;
    {
        WaveWindow layout;
        record = layout.ui().cmdRecord->mapTo(layout.frmMain.get(),
                                              layout.ui().cmdRecord->rect().center());
    }

    PrivateSoundServer server;
    const QString problem = server.start();
    if (problem.contains(QStringLiteral("not installed")))
        QSKIP(qPrintable(problem));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QTemporaryDir temp;
    QProcess tapewren;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tapewren.setProcessEnvironment(environment);
    tapewren.setProcessChannelMode(QProcess::ForwardedChannels);
    tapewren.start(program, {});
    QVERIFY(tapewren.waitForStarted());
    const auto killer = qScopeGuard([&] {
        tapewren.kill();
        tapewren.waitForFinished();
    });

    const QString window = run(QStringLiteral("timeout"),
                               {"20",
                                "xdotool",
                                "search",
                                "--sync",
                                "--onlyvisible",
                                "--name",
                                QStringLiteral("Tapewren 音频录音机")})
                                   .section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(!window.isEmpty(), "the window did not show");
    // a click the moment the window maps can get lost: click until the spool is open
    for (int attempt = 0; attempt < 10 && bytesOpenIn(tapewren.processId(), temp.path()) < 0;
         ++attempt) {
        run(QStringLiteral("xdotool"),
            {"mousemove",
             "--window",
             window,
             QString::number(record.x()),
             QString::number(record.y()),
             "click",
             "1"});
        QTest::qWait(1000);
    }
    // the spool is open, nameless, and filling up
    QTRY_VERIFY_WITH_TIMEOUT(bytesOpenIn(tapewren.processId(), temp.path()) > 44100 * 4, 20000);
    QCOMPARE(entries(temp.path()), QStringList());

    tapewren.kill();
    QVERIFY(tapewren.waitForFinished());
    QCOMPARE(tapewren.exitStatus(), QProcess::CrashExit);
    QCOMPARE(entries(temp.path()), QStringList());
}

QTEST_MAIN(tst_NoFileLeft)
#include "tst_nofileleft.moc"
