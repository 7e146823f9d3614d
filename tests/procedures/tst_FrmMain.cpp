#include "ButtonStates.h"
#include "FakeMediaControl.h"
#include "FakePlatform.h"

#include "app/FrmMain.h"
#include "recorder/RecorderController.h"
#include "window/LevelMeter.h"
#include "window/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {
const QString Title = QStringLiteral("Tapewren音频录音机");

struct WindowRig
{
    WindowRig()
        : frmMain(fakes.platform, media, fakes.waveDevice)
        , ui(frmMain.controls())
    {
        fakes.programFolder.folder = folder.path();
    }

    void writeSkin(const QByteArray &bytes)
    {
        QFile file(folder.filePath(QStringLiteral("default.skn")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QString buttons() const { return buttonStates(ui); }
    CommandHandler &commands() { return *fakes.commands.handler; } // as the bus calls it
    void setButtons(const QString &pattern)                        // as buttons() gives them
    {
        const QList<QPushButton *> five{ui.cmdNew,
                                        ui.cmdRecord,
                                        ui.cmdPlay,
                                        ui.cmdStop,
                                        ui.cmdSave};
        for (int i = 0; i < five.size(); ++i)
            five[i]->setEnabled(pattern.split(u' ').value(i) == u"1");
    }

    QTemporaryDir folder;
    FakePlatform fakes;
    FakeMediaControl media;
    FrmMain frmMain;
    const FrmMainUi &ui;
};
} // namespace

class FrmMainTest : public QObject
{
    Q_OBJECT

private slots:
    void buttons_reachTheirProcedures();
    void clockAndWatch_followTheirEvents();
    void untrappedError_isReportedThenEndsTheProgram();
    void formLoad_skipsFailureInsideNewRecording();
    void closeRequests_areRefusedInEveryState();
    void skin_coloursTheWindow();
    void skin_badFilesArePassedOverSilently_data();
    void skin_badFilesArePassedOverSilently();
    void links_openTheirPages();
    void help_passesReadmeAsOneArgument();
    void expander_growsOnceAndShowsLowerBand();
    void whileRecording_levelShows_silenceWarns_andTheMachineStaysAwake();
    void whileRecording_lostSoundIsTold_andLevelsOnlyWhileSeen();
    // without the mouse
    void keys_clickTheirButton_onlyWhileItIsEnabled_data();
    void keys_clickTheirButton_onlyWhileItIsEnabled();
    void commands_areRefused_whenAClickWouldBe_data();
    void commands_areRefused_whenAClickWouldBe();
    void commands_clickTheirButton_afterTheAnswer();
    void contextMenu_setsAndCancelsTheTimedStop_whileRecording();
};

void FrmMainTest::buttons_reachTheirProcedures()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    rig.media.calls.clear();

    QTest::mouseClick(rig.ui.cmdRecord, Qt::LeftButton);
    QCOMPARE(rig.media.calls, QStringList{"Command record"});
    QCOMPARE(rig.buttons(), QStringLiteral("0 0 0 1 0"));

    QTest::mouseClick(rig.ui.cmdStop, Qt::LeftButton);
    QCOMPARE(rig.ui.Lblread->text(), QStringLiteral("停止..."));

    QTest::mouseClick(rig.ui.cmdPlay, Qt::LeftButton);
    QCOMPARE(rig.ui.Lblread->text(), QStringLiteral("正在播放..."));
    QTest::mouseClick(rig.ui.cmdStop, Qt::LeftButton);

    rig.fakes.cdg.answers.enqueue(QStringLiteral("/tmp/saved.wav"));
    QTest::mouseClick(rig.ui.cmdSave, Qt::LeftButton);
    QCOMPARE(rig.ui.LblFile->text(), QStringLiteral("文件：/tmp/saved.wav"));
    // Every save ends by opening the ringtones page.
    QCOMPARE(rig.fakes.launcher.urls, QStringList{"http://www.orbanet.example/tl.htm"});

    rig.fakes.cdg.answers.enqueue(QStringLiteral("/tmp/other.wav"));
    QTest::mouseClick(rig.ui.cmdOpen, Qt::LeftButton);
    QCOMPARE(rig.ui.LblFile->text(), QStringLiteral("文件：/tmp/other.wav"));

    rig.media.calls.clear();
    QTest::mouseClick(rig.ui.cmdNew, Qt::LeftButton);
    QCOMPARE(rig.media.calls.first(), QStringLiteral("Command close"));
}

void FrmMainTest::clockAndWatch_followTheirEvents()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    QTest::mouseClick(rig.ui.cmdRecord, Qt::LeftButton);
    rig.fakes.clock.time = rig.fakes.clock.time.addSecs(65);
    QTRY_COMPARE(rig.ui.LblFile->text(), QStringLiteral("录音时间：1分5秒"));
    QCOMPARE(rig.ui.TimerBar->interval(), 200);

    QTest::mouseClick(rig.ui.cmdStop, Qt::LeftButton);
    QTest::mouseClick(rig.ui.cmdPlay, Qt::LeftButton);
    rig.media.position = 10;
    rig.media.length = 10;
    emit rig.media.StatusUpdate();
    QCOMPARE(rig.ui.Lblread->text(), QStringLiteral("停止..."));
    QCOMPARE(rig.buttons(), QStringLiteral("1 1 1 0 1"));
}

void FrmMainTest::untrappedError_isReportedThenEndsTheProgram()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.media.raising << QStringLiteral("Command stop");

    bool ended = false;
    try {
        rig.frmMain.deliver(&FrmMain::cmdStop_Click);
    } catch (const ProgramEnded &) {
        ended = true;
    }

    QVERIFY(ended);
    QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
    const FakeMessageBox::Shown report = rig.fakes.messageBox.shown.first();
    QVERIFY(report.prompt.contains(QStringLiteral("380")));
    QVERIFY(report.prompt.contains(QStringLiteral("无效的属性值：Command stop")));
    QCOMPARE(report.style & 0xF0, int(MessageBox::Critical));
    QCOMPARE(rig.fakes.programEnd.ends, 1);
}

void FrmMainTest::formLoad_skipsFailureInsideNewRecording()
{
    WindowRig rig;
    rig.media.raising << QStringLiteral("DeviceID");
    rig.writeSkin("QLabel { color: #000000; }");

    rig.frmMain.Form_Load(); // must not end the program

    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QVERIFY(!rig.ui.cmdStop->isEnabled());
    QVERIFY(!rig.frmMain.styleSheet().isEmpty());

    // The same failure from the New button reaches the report and the end.
    bool ended = false;
    try {
        rig.frmMain.deliver(&FrmMain::cmdNew_Click);
    } catch (const ProgramEnded &) {
        ended = true;
    }
    QVERIFY(ended);
}

void FrmMainTest::closeRequests_areRefusedInEveryState()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.frmMain));

    const auto refused = [&] {
        const QString status = rig.ui.Lblread->text();
        const QString buttons = rig.buttons();
        const bool closed = rig.frmMain.close();
        return !closed && rig.frmMain.isVisible() && rig.ui.Lblread->text() == status
               && rig.buttons() == buttons && rig.fakes.messageBox.shown.isEmpty();
    };
    QVERIFY(refused()); // ready
    QTest::mouseClick(rig.ui.cmdRecord, Qt::LeftButton);
    QVERIFY(refused()); // recording
    QTest::mouseClick(rig.ui.cmdStop, Qt::LeftButton);
    QTest::mouseClick(rig.ui.cmdPlay, Qt::LeftButton);
    QVERIFY(refused()); // playing
    QCOMPARE(rig.fakes.programEnd.ends, 0);
}

void FrmMainTest::skin_coloursTheWindow()
{
    WindowRig rig;
    QFile shipped(qEnvironmentVariable("TAPEWREN_SOURCE_DIR")
                  + QStringLiteral("/assets/default.skn"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    rig.writeSkin(shipped.readAll());

    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.frmMain));

    const QImage image = rig.frmMain.grab().toImage();
    // A spot between the bottom row's buttons shows the window's background.
    const QColor background = image.pixelColor(image.width() - 2, image.height() - 2);
    QCOMPARE(background, QColor(0xCF, 0xE8, 0xCC));
    const QColor button = image.pixelColor(rig.ui.cmdExit->geometry().center() + QPoint(0, 6));
    QCOMPARE(button, QColor(0xD8, 0xE9, 0xEC));
}

void FrmMainTest::skin_badFilesArePassedOverSilently_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\xff\xfe\x00\x01garbage\x80\x81", 13);
    QTest::newRow("malformed") << QByteArray("QWidget { background: ; {{{ }");
    QTest::newRow("huge") << QByteArray(4 * 1024 * 1024, 'a');
}

void FrmMainTest::skin_badFilesArePassedOverSilently()
{
    QFETCH(QByteArray, bytes);
    WindowRig rig;
    rig.writeSkin(bytes);

    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.frmMain));

    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QCOMPARE(rig.fakes.programEnd.ends, 0);
    QVERIFY(rig.frmMain.styleSheet().size() <= bytes.size());
    // Still usable: the buttons work.
    QTest::mouseClick(rig.ui.cmdRecord, Qt::LeftButton);
    QCOMPARE(rig.buttons(), QStringLiteral("0 0 0 1 0"));
}

void FrmMainTest::links_openTheirPages()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.cmdMp3Conv_Click();
    rig.frmMain.cmdTV_Click();
    rig.frmMain.picOrbanet_Click();
    rig.frmMain.cmdTuLing_Click();
    rig.frmMain.cmdTuLing_Click(); // every click opens again
    QCOMPARE(rig.fakes.launcher.urls,
             QStringList({"http://soft.orbanet.example/",
                          "http://tv.orbanet.example/",
                          "http://www.orbanet.example/",
                          "http://www.orbanet.example/tl.htm",
                          "http://www.orbanet.example/tl.htm"}));
    QVERIFY(rig.ui.picOrbanet->toolTip().endsWith(QStringLiteral("http://www.orbanet.example/")));

    rig.frmMain.cmdSetRecord_Click();
    QCOMPARE(rig.fakes.launcher.started,
             QList<QStringList>{QStringList({"pavucontrol", "--tab=4"})});

    // A launcher that fails is silent.
    rig.fakes.launcher.works = false;
    rig.frmMain.cmdTV_Click();
    rig.frmMain.cmdHelp_Click();
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
}

void FrmMainTest::help_passesReadmeAsOneArgument()
{
    WindowRig rig;
    rig.fakes.programFolder.folder = QStringLiteral("/opt/My Apps/\"录音\" 机");
    rig.frmMain.deliver(&FrmMain::cmdHelp_Click);
    QCOMPARE(rig.fakes.launcher.started,
             QList<QStringList>{QStringList({"xdg-open", "/opt/My Apps/\"录音\" 机/readme.txt"})});
}

void FrmMainTest::expander_growsOnceAndShowsLowerBand()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.frmMain));
    QCOMPARE(rig.frmMain.height(), 172);
    for (QWidget *band : {static_cast<QWidget *>(rig.ui.picOrbanet),
                          static_cast<QWidget *>(rig.ui.cmdTuLing),
                          static_cast<QWidget *>(rig.ui.cmdTV)})
        QVERIFY(band->geometry().bottom() >= rig.frmMain.height());

    QTest::mouseClick(rig.ui.picZZ, Qt::LeftButton);

    QCOMPARE(rig.frmMain.height(), 256);
    QVERIFY(!rig.ui.picZZ->isVisible());
    for (QWidget *band : {static_cast<QWidget *>(rig.ui.picOrbanet),
                          static_cast<QWidget *>(rig.ui.cmdTuLing),
                          static_cast<QWidget *>(rig.ui.cmdTV)})
        QVERIFY(rig.frmMain.rect().contains(band->geometry()));
    QTest::mouseClick(rig.ui.cmdTV, Qt::LeftButton);
    QCOMPARE(rig.fakes.launcher.urls, QStringList{"http://tv.orbanet.example/"});
}

void FrmMainTest::whileRecording_levelShows_silenceWarns_andTheMachineStaysAwake()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.frmMain));
    const FrmMainUi &ui = rig.ui;
    QVERIFY(!ui.levelMeter->isVisible());

    QTest::mouseClick(ui.cmdRecord, Qt::LeftButton);
    QCOMPARE(rig.fakes.sleepInhibitor.calls, QStringList{"inhibit 正在录音"});
    emit rig.media.InputLevel(-6.02, false);
    // only once the clock has replaced the file's name in its line
    QVERIFY(!ui.levelMeter->isVisible());
    QTRY_VERIFY(ui.LblFile->text().startsWith(QStringLiteral("录音时间：")));
    QVERIFY(ui.levelMeter->isVisible());
    QCOMPARE(ui.levelMeter->value(), -6);
    QCOMPARE(ui.levelMeter->accessibleName(), QStringLiteral("输入电平"));
    QVERIFY(!ui.clipMark->isVisible());
    emit rig.media.InputLevel(0, true);
    QVERIFY(ui.clipMark->isVisible());
    // the meter stays clear of the clock's text
    const QRect clock = ui.LblFile->fontMetrics().boundingRect(
            QStringLiteral("录音时间：119分59秒"));
    QVERIFY(ui.LblFile->geometry().left() + clock.width() < ui.levelMeter->geometry().left());

    // no sound for three seconds: the warning takes the meter's place, and clear sound ends it
    QElapsedTimer silent;
    silent.start();
    QTRY_VERIFY_WITH_TIMEOUT(ui.lblWarning->isVisible(), 5000);
    QVERIFY(silent.elapsed() >= 2900);
    QCOMPARE(ui.lblWarning->text(), QStringLiteral("未检测到声音输入"));
    QVERIFY(!ui.levelMeter->isVisible());
    emit rig.media.InputLevel(-20, false);
    QVERIFY(!ui.lblWarning->isVisible());
    QVERIFY(ui.levelMeter->isVisible());

    // Stop: the display goes and the machine may sleep again
    QTest::mouseClick(ui.cmdStop, Qt::LeftButton);
    QTRY_VERIFY(!rig.fakes.sleepInhibitor.held);
    QVERIFY(!ui.levelMeter->isVisible() && !ui.lblWarning->isVisible());

    // a recording that breaks off lets go as well
    QTest::mouseClick(ui.cmdRecord, Qt::LeftButton);
    QVERIFY(rig.fakes.sleepInhibitor.held);
    emit rig.media.brokeOff(QStringLiteral("磁盘已满"));
    QTRY_VERIFY(!rig.fakes.sleepInhibitor.held);
    QCOMPARE(rig.fakes.sleepInhibitor.calls.size(), 4);
}

void FrmMainTest::keys_clickTheirButton_onlyWhileItIsEnabled_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("button");
    QTest::newRow("Ctrl+N") << QKeySequence("Ctrl+N") << "cmdNew";
    QTest::newRow("Ctrl+R") << QKeySequence("Ctrl+R") << "cmdRecord";
    QTest::newRow("Ctrl+P") << QKeySequence("Ctrl+P") << "cmdPlay";
    QTest::newRow("Esc") << QKeySequence("Esc") << "cmdStop";
    QTest::newRow("Ctrl+S") << QKeySequence("Ctrl+S") << "cmdSave";
    QTest::newRow("Ctrl+O") << QKeySequence("Ctrl+O") << "cmdOpen";
    QTest::newRow("F1") << QKeySequence("F1") << "cmdHelp";
    QTest::newRow("Ctrl+Q") << QKeySequence("Ctrl+Q") << "cmdExit";
}

void FrmMainTest::keys_clickTheirButton_onlyWhileItIsEnabled()
{
    QFETCH(QKeySequence, key);
    QFETCH(QString, button);
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QApplication::setActiveWindow(&rig.frmMain);
    QVERIFY(QTest::qWaitForWindowActive(&rig.frmMain));
    rig.frmMain.recorder().IsModified = FlagTrue; // Exit asks, and the fake box says Cancel
    auto *target = rig.frmMain.findChild<QPushButton *>(button);
    QSignalSpy clicks(target, &QAbstractButton::clicked);

    target->setEnabled(false);
    QTest::keySequence(&rig.frmMain, key);
    QTest::qWait(250); // a key's click follows the button shown pressed for a moment
    QCOMPARE(clicks.size(), 0);
    target->setEnabled(true);
    QTest::keySequence(&rig.frmMain, key);
    QTRY_COMPARE(clicks.size(), 1);
}

void FrmMainTest::commands_areRefused_whenAClickWouldBe_data()
{
    QTest::addColumn<QString>("state"); // "starting", "box", or the buttons and the status line
    QTest::addColumn<RemoteCommand>("command");
    QTest::addColumn<int>("stopAfter"); // hours
    QTest::addColumn<QString>("reason");
    QTest::newRow("starting") << "starting" << RemoteCommand::Toggle << 0 << "正在启动";
    QTest::newRow("a box open") << "box" << RemoteCommand::Toggle << 0 << "对话框";
    QTest::newRow("stop, ready") << "1 1 1 0 1|停止..." << RemoteCommand::Stop << 0 << "没有";
    QTest::newRow("record, recording")
            << "0 0 0 1 0|录音开始时间为：" << RemoteCommand::Record << 0 << "已经在录音";
    QTest::newRow("record, playing")
            << "0 0 0 1 0|正在播放..." << RemoteCommand::Record << 0 << "正在播放";
    // the bus passes any number, not only one the timer can hold
    QTest::newRow("for 25h") << "1 1 1 0 1|停止..." << RemoteCommand::Record << 25 << "24 小时";
}

void FrmMainTest::commands_areRefused_whenAClickWouldBe()
{
    QFETCH(QString, state);
    QFETCH(RemoteCommand, command);
    QFETCH(int, stopAfter);
    QFETCH(QString, reason);
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    if (state != u"starting")
        rig.frmMain.OfferLeftoverTakes();
    rig.fakes.userInput.isBlocked = state == u"box";
    if (state.contains(u'|')) {
        rig.setButtons(state.section(u'|', 0, 0));
        rig.ui.Lblread->setText(state.section(u'|', 1));
    }
    rig.media.calls.clear();

    const Result<> answer = rig.commands().command(command, std::chrono::hours(stopAfter));
    QVERIFY2(!answer.ok() && answer.reason().contains(reason), qPrintable(answer.reason()));
    QTest::qWait(20);
    QCOMPARE(rig.media.calls, QStringList());
}

void FrmMainTest::commands_clickTheirButton_afterTheAnswer()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    rig.frmMain.OfferLeftoverTakes();
    QCOMPARE(rig.commands().state(), QStringLiteral("ready"));

    rig.media.calls.clear();
    QVERIFY(rig.commands().command(RemoteCommand::Record, 90s).ok());
    QVERIFY(rig.media.calls.isEmpty()); // the caller has its answer before anything happens
    QTRY_COMPARE(rig.commands().state(), QStringLiteral("recording"));
    QCOMPARE(rig.media.calls, QStringList{"Command record"});
    QCOMPARE(rig.ui.lblTimedStop->text(), QStringLiteral("将于 14:06:39 自动停止"));

    QVERIFY(rig.commands().command(RemoteCommand::Toggle, 0s).ok());
    QTRY_COMPARE(rig.commands().state(), QStringLiteral("ready"));

    // a box that comes between the answer and the click holds the click, as it would a real one
    QVERIFY(rig.commands().command(RemoteCommand::Toggle, 0s).ok());
    rig.fakes.userInput.isBlocked = true;
    QTest::qWait(20);
    QCOMPARE(rig.commands().state(), QStringLiteral("ready"));
    rig.ui.cmdPlay->click();
    QCOMPARE(rig.commands().state(), QStringLiteral("playing"));
}

void FrmMainTest::contextMenu_setsAndCancelsTheTimedStop_whileRecording()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    const auto rightClick = [&rig] {
        const QPoint at(20, 20);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, rig.frmMain.mapToGlobal(at));
        QApplication::sendEvent(&rig.frmMain, &event);
        const bool shown = rig.ui.contextMenu->isVisible();
        rig.ui.contextMenu->close();
        return shown;
    };
    QVERIFY(!rightClick()); // nothing to time while ready

    QTest::mouseClick(rig.ui.cmdRecord, Qt::LeftButton);
    QVERIFY(rightClick());
    QVERIFY(!rig.ui.cancelTimedStop->isEnabled());
    rig.ui.timedStopChoices.at(1)->trigger(); // 30 分钟
    QCOMPARE(rig.ui.lblTimedStop->text(), QStringLiteral("将于 14:35:09 自动停止"));
    QVERIFY(rig.ui.lblTimedStop->isVisible());
    QVERIFY(rightClick());
    QVERIFY(rig.ui.cancelTimedStop->isEnabled());
    rig.ui.cancelTimedStop->trigger();
    QVERIFY(!rig.ui.lblTimedStop->isVisible());
    QCOMPARE(buttonStates(rig.ui), QStringLiteral("0 0 0 1 0")); // the take goes on
}

void FrmMainTest::whileRecording_lostSoundIsTold_andLevelsOnlyWhileSeen()
{
    WindowRig rig;
    rig.frmMain.Form_Load();
    rig.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.frmMain));
    const FrmMainUi &ui = rig.ui;
    QTest::mouseClick(ui.cmdRecord, Qt::LeftButton);
    QTRY_VERIFY(ui.levelMeter->isVisible());

    // in the warning's place, in red, until the next take
    emit rig.media.SoundLost(480);
    QVERIFY(ui.lblWarning->isVisible() && !ui.levelMeter->isVisible());
    QCOMPARE(ui.lblWarning->text(), QStringLiteral("丢失了 0.5 秒声音，已用静音补齐"));
    emit rig.media.InputLevel(-6, false);
    emit rig.media.SoundLost(2040);
    QCOMPARE(ui.lblWarning->text(), QStringLiteral("丢失了 2.0 秒声音，已用静音补齐"));
    QVERIFY(!ui.levelMeter->isVisible());
    QTest::mouseClick(ui.cmdStop, Qt::LeftButton);
    QVERIFY(ui.lblWarning->isVisible());
    QTest::mouseClick(ui.cmdRecord, Qt::LeftButton);
    QVERIFY(!ui.lblWarning->isVisible());

    // nobody sees the level or the clock of a minimised window: neither wakes the program
    rig.frmMain.showMinimized();
    QTRY_COMPARE(rig.media.levelWanted, QList<bool>{false});
    QVERIFY(!ui.TimerBar->isActive());
    rig.frmMain.showNormal();
    QTRY_COMPARE(rig.media.levelWanted, (QList<bool>{false, true}));
    QVERIFY(ui.TimerBar->isActive());
}

QTEST_MAIN(FrmMainTest)
#include "tst_FrmMain.moc"
