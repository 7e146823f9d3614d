#include "FakePlatform.h"
#include "PrivateSoundServer.h"
#include "SyntheticAudioInput.h"
#include "WavFixture.h"
#include "WaveWindow.h"
#include "media/take/SpoolHeader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

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

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

} // namespace

// A recording's spool stays on disk exactly as long as the user has not chosen to end the
// recording: it goes with an exit, a New or an Open, and stays after a kill for the next start.
class tst_NoFileLeft : public QObject
{
    Q_OBJECT

private slots:
    void chosenEnd_leavesNoSpool_data();
    void chosenEnd_leavesNoSpool();
    void kill_whileRecording_leavesTheTakeForTheNextStart();
};

void tst_NoFileLeft::chosenEnd_leavesNoSpool_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("saved");
    QTest::newRow("exit, unsaved recording dropped") << "exit no" << QStringList();
    QTest::newRow("exit, recording saved first") << "exit yes" << QStringList{"take.wav"};
    QTest::newRow("new") << "new" << QStringList();
    QTest::newRow("open") << "open" << QStringList{"other.wav"};
}

void tst_NoFileLeft::chosenEnd_leavesNoSpool()
{
    QFETCH(QString, end);
    QFETCH(QStringList, saved);
    QTemporaryDir state;
    QTemporaryDir target;
    const auto restore = overrideEnvironment("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString spool = state.filePath(QStringLiteral("tapewren"));

    WaveWindow w;
    QVERIFY(w.click(w.ui().cmdRecord));
    w.input->push(QByteArray(44100 * 4, '\x11'));
    w.media->waitForStorage();
    QCOMPARE(entries(spool).size(), 2); // the spool and its journal
    if (end == u"new") {
        QVERIFY(w.click(w.ui().cmdStop));
        QVERIFY(w.click(w.ui().cmdNew));
    } else if (end == u"open") {
        const QString other = target.filePath(QStringLiteral("other.wav"));
        QVERIFY(WavFixture::write(other,
                                  WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                     8000,
                                                     1,
                                                     800)));
        w.answerDialog(other);
        QVERIFY(w.click(w.ui().cmdOpen));
        QCOMPARE(w.ui().LblFile->text(), QStringLiteral("文件：") + other);
    } else {
        w.fakes.messageBox.answers.enqueue(end == u"exit yes" ? MessageBox::Yes : MessageBox::No);
        w.answerDialog(target.filePath(QStringLiteral("take.wav")));
        bool ended = false;
        try {
            w.frmMain->deliver(&FrmMain::cmdExit_Click);
        } catch (const ProgramEnded &) {
            ended = true;
        }
        QVERIFY(ended);
    }
    w.media->waitForStorage();
    QCOMPARE(entries(spool), QStringList());
    QCOMPARE(entries(target.path()), saved);
}

void tst_NoFileLeft::kill_whileRecording_leavesTheTakeForTheNextStart()
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
    QTemporaryDir state;
    const QString folder = state.filePath(QStringLiteral("tapewren"));
    QProcess tapewren;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
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
    const auto spool = [&] {
        const QStringList spools = QDir(folder).entryList({QStringLiteral("take-*.wav")});
        return spools.isEmpty() ? QString() : folder + u'/' + spools.first();
    };
    // a click the moment the window maps can get lost: click until the spool is there
    for (int attempt = 0; attempt < 10 && spool().isEmpty(); ++attempt) {
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
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(spool()).size() > 44100 * 4, 20000);

    // a running copy's take is never offered elsewhere
    WaveMediaControl other;
    other.setSpoolFolder(folder);
    QCOMPARE(other.leftoverTakes().size(), 0);

    const qint64 framesBeforeKill = (QFileInfo(spool()).size() - SpoolHeader::size) / 4;
    tapewren.kill();
    QVERIFY(tapewren.waitForFinished());
    QCOMPARE(tapewren.exitStatus(), QProcess::CrashExit);

    // the spool is a sound file holding the take up to its last second, and the next start has
    // all of it
    const qint64 kept = WavFixture::read(spool()).frames();
    QVERIFY2(kept >= framesBeforeKill - 44100,
             qPrintable(QStringLiteral("%1 of %2").arg(kept).arg(framesBeforeKill)));
    const QList<LeftoverTake> takes = other.leftoverTakes();
    QCOMPARE(takes.size(), 1);
    QVERIFY(takes.first().lengthMs >= framesBeforeKill * 1000 / 44100);
    QVERIFY(takes.first().filePath.isEmpty());
}

QTEST_MAIN(tst_NoFileLeft)
#include "tst_nofileleft.moc"
