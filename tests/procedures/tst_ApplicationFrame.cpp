#include "RecorderRig.h"

#include "app/ApplicationFrame.h"
#include "app/Skin.h"
#include "app/SkinLoader.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Title = QStringLiteral("Tapewren音频录音机");
const QString SavePrompt = QStringLiteral("当前录音已经被更新，是否保存？");

struct FrameRig : RecorderRig
{
    FrameRig()
        : skinLoader(skin, fakes.programFolder, window)
        , frame(recorder,
                media,
                *cmdStop,
                {fakes.instanceGuard, fakes.messageBox, fakes.programEnd, skinLoader})
    {
        fakes.programFolder.folder = folder.path();
    }

    // Runs what may end the program; true when it ended.
    template<typename Run>
    bool ends(Run &&run)
    {
        try {
            run();
        } catch (const ProgramEnded &) {
            return true;
        }
        return false;
    }

    QTemporaryDir folder;
    Skin skin;
    SkinLoader skinLoader;
    ApplicationFrame frame;
};
} // namespace

class ApplicationFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void formLoad_preparesNewRecording_disablesStop_andAppliesSkin();
    void formLoad_secondCopy_showsOnlyTheBoxAndEnds();
    void formLoad_secondCopyWithACommand_handsItOver_withoutTheBox();
    void formLoad_goesOn_whenNewRecordingFails();
    void formLoad_passesOverMissingSkinSilently();
    void formUnload_refusesEveryCloseRequest();
    void exit_endsAtOnce_whenNothingIsUnsaved();
    void exit_data();
    void exit();
    void leftoverTakes_data();
    void leftoverTakes();
};

void ApplicationFrameTest::formLoad_preparesNewRecording_disablesStop_andAppliesSkin()
{
    FrameRig rig;
    QFile skinFile(rig.folder.filePath(QStringLiteral("default.skn")));
    QVERIFY(skinFile.open(QIODevice::WriteOnly));
    skinFile.write("QWidget { background: #cce8cf; }");
    skinFile.close();
    rig.cmdStop->setEnabled(true);
    rig.recorder.IsModified = FlagTrue;

    QVERIFY(!rig.ends([&] { rig.frame.Form_Load(); }));

    QCOMPARE(rig.media.calls,
             QStringList({"Command close", "FileName new", "Command open", "DeviceID"}));
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
    QCOMPARE(rig.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(rig.window.styleSheet(), QStringLiteral("QWidget { background: #cce8cf; }"));
    QCOMPARE(rig.LblFile->text(), QStringLiteral("录音文件：当前录音文件为 Temp_Record_File.wav"));
    QCOMPARE(rig.Lblread->text(), QStringLiteral("当前状态："));
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
}

void ApplicationFrameTest::formLoad_secondCopy_showsOnlyTheBoxAndEnds()
{
    for (const bool guardRaises : {false, true}) {
        FrameRig rig;
        rig.fakes.instanceGuard.answer = FlagTrue;
        // A test that fails counts as held, so an unanswerable question also ends this copy.
        rig.fakes.instanceGuard.raises = guardRaises;

        QVERIFY(rig.ends([&] { rig.frame.Form_Load(); }));

        QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
        QCOMPARE(rig.fakes.messageBox.shown.first().prompt,
                 QStringLiteral("Tapewren音频录音机已经运行！"));
        QCOMPARE(rig.fakes.messageBox.shown.first().style, 64);
        QCOMPARE(rig.fakes.messageBox.shown.first().title, Title);
        QVERIFY(rig.media.calls.isEmpty());
        QVERIFY(rig.cmdStop->isEnabled() == false); // design-time state of the rig, untouched
    }
}

void ApplicationFrameTest::formLoad_secondCopyWithACommand_handsItOver_withoutTheBox()
{
    FrameRig rig;
    rig.fakes.instanceGuard.answer = FlagTrue;
    int handedOver = 0;
    rig.frame.setHandOver([&] { return ++handedOver; }); // the status: 1, as for a refusal

    QVERIFY(rig.ends([&] { rig.frame.Form_Load(); }));
    QCOMPARE(handedOver, 1);
    QCOMPARE(rig.fakes.programEnd.status, 1);
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QVERIFY(rig.media.calls.isEmpty());
}

void ApplicationFrameTest::formLoad_goesOn_whenNewRecordingFails()
{
    FrameRig rig;
    QFile skinFile(rig.folder.filePath(QStringLiteral("default.skn")));
    QVERIFY(skinFile.open(QIODevice::WriteOnly));
    skinFile.write("QLabel { color: black; }");
    skinFile.close();
    rig.cmdStop->setEnabled(true);
    rig.media.raising << QStringLiteral("Command open");

    QVERIFY(!rig.ends([&] { rig.frame.Form_Load(); }));

    QCOMPARE(rig.media.calls, QStringList({"Command close", "FileName new", "Command open"}));
    QVERIFY(!rig.cmdStop->isEnabled());
    QCOMPARE(rig.window.styleSheet(), QStringLiteral("QLabel { color: black; }"));
}

void ApplicationFrameTest::formLoad_passesOverMissingSkinSilently()
{
    FrameRig rig;
    rig.fakes.programFolder.folder = rig.folder.filePath(QStringLiteral("gone"));

    QVERIFY(!rig.ends([&] { rig.frame.Form_Load(); }));

    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QVERIFY(rig.window.styleSheet().isEmpty());
    QVERIFY(!rig.cmdStop->isEnabled());
}

void ApplicationFrameTest::formUnload_refusesEveryCloseRequest()
{
    qint16 Cancel = 0;
    ApplicationFrame::Form_Unload(Cancel);
    QCOMPARE(Cancel, qint16(1));
}

void ApplicationFrameTest::exit_endsAtOnce_whenNothingIsUnsaved()
{
    FrameRig rig;
    QVERIFY(rig.ends([&] { rig.frame.ExitApplication(); }));
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QVERIFY(rig.fakes.cdg.calls.isEmpty());
}

void ApplicationFrameTest::exit_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("saveAs"); // empty: the Save dialog is cancelled
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("ends");
    QTest::addColumn<bool>("saveDialogShown");

    QTest::newRow("cancel") << 2 << QString() << false << false << false;
    QTest::newRow("no") << 7 << QString() << false << true << false;
    QTest::newRow("yes, saved") << 6 << QStringLiteral("/tmp/a.wav") << false << true << true;
    QTest::newRow("yes, dialog cancelled") << 6 << QString() << false << false << true;
    QTest::newRow("yes, save failed")
            << 6 << QStringLiteral("/full/a.wav") << true << false << true;
}

void ApplicationFrameTest::exit()
{
    QFETCH(int, answer);
    QFETCH(QString, saveAs);
    QFETCH(bool, saveFails);
    QFETCH(bool, ends);
    QFETCH(bool, saveDialogShown);

    FrameRig rig;
    rig.recorder.StartRecording();
    const QString status = rig.Lblread->text();
    rig.media.calls.clear();
    rig.fakes.messageBox.answers.enqueue(answer);
    if (!saveAs.isEmpty())
        rig.fakes.cdg.answers.enqueue(saveAs);
    if (saveFails)
        rig.media.refusing.insert(QStringLiteral("save"), QStringLiteral("磁盘已满"));

    QCOMPARE(rig.ends([&] { rig.frame.ExitApplication(); }), ends);

    const FakeMessageBox::Shown prompt = rig.fakes.messageBox.shown.first();
    QCOMPARE(prompt.prompt, SavePrompt);
    QCOMPARE(prompt.style, 3 + 32 + 0);
    QCOMPARE(prompt.title, Title);
    QCOMPARE(rig.fakes.cdg.calls.contains(QStringLiteral("ShowSave")), saveDialogShown);
    QCOMPARE(rig.tuLingClicks, saveDialogShown ? 1 : 0);
    // Nothing is stopped before the prompt; a recording goes on after Cancel.
    QVERIFY(!rig.media.calls.contains(QStringLiteral("Command stop")));
    if (!ends) {
        QCOMPARE(rig.recorder.IsModified, FlagTrue);
        QCOMPARE(rig.Lblread->text(), status);
        QVERIFY(rig.TimerBar->isActive());
        QCOMPARE(rig.buttons(), QStringLiteral("0 0 0 1 0"));
    }
}

void ApplicationFrameTest::leftoverTakes_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("fileLine");
    QTest::addColumn<int>("boxes");

    const QStringList found{"leftoverTakes"};
    QTest::newRow("yes to the newest")
            << QList<int>{6} << found + QStringList{"recoverTake /a.wav", "keepLeftoverTakes"}
            << QStringLiteral("录音文件：当前录音文件为 Temp_Record_File.wav") << 1;
    QTest::newRow("no, then yes to the one recorded into a file")
            << QList<int>{7, 6}
            << found + QStringList{"discardTake /a.wav", "recoverTake /b.wav", "keepLeftoverTakes"}
            << QStringLiteral("文件：/music/讲座.wav") << 2;
    QTest::newRow("no, then cancel")
            << QList<int>{7, 2} << found + QStringList{"discardTake /a.wav", "keepLeftoverTakes"}
            << QStringLiteral("文件：") << 2;
    QTest::newRow("no to all, the last one's file changed")
            << QList<int>{7, 7, 6}
            << found
                       + QStringList{"discardTake /a.wav",
                                     "discardTake /b.wav",
                                     "recoverTake /c.wav",
                                     "keepLeftoverTakes"}
            << QStringLiteral("录音文件：当前录音文件为 Temp_Record_File.wav") << 4;
}

void ApplicationFrameTest::leftoverTakes()
{
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, calls);
    QFETCH(QString, fileLine);
    QFETCH(int, boxes);

    FrameRig rig;
    const QDateTime started(QDate(2026, 12, 6), QTime(9, 30, 59));
    rig.media.leftovers = {{"/a.wav", started, 125900, {}, false},
                           {"/b.wav", started, 61000, "/music/讲座.wav", false},
                           {"/c.wav", started, 5000, "/music/gone.wav", true}};
    for (int answer : answers)
        rig.fakes.messageBox.answers.enqueue(answer);

    rig.frame.OfferLeftoverTakes();

    QCOMPARE(rig.media.calls, calls);
    QCOMPARE(rig.fakes.messageBox.shown.size(), boxes);
    const FakeMessageBox::Shown offer = rig.fakes.messageBox.shown.first();
    QCOMPARE(offer.prompt,
             QStringLiteral("发现上次未保存的录音（2分5秒，开始于 2026-12-06 09:30）。是否恢复？"));
    QCOMPARE(offer.style, 3 + 32 + 0);
    QCOMPARE(offer.title, Title);
    QCOMPARE(rig.LblFile->text(), fileLine);
    const bool recovered = answers.last() == 6;
    QCOMPARE(rig.recorder.IsModified, recovered ? FlagTrue : FlagFalse);
    if (boxes == 4) {
        QCOMPARE(rig.fakes.messageBox.shown.last().prompt,
                 QStringLiteral(
                         "录音时打开的文件“/music/gone.wav”已被修改或删除，只恢复了录下的声音。"));
    }
}

QTEST_MAIN(ApplicationFrameTest)
#include "tst_ApplicationFrame.moc"
