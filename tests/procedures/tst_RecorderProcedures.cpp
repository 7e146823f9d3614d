#include "RecorderRig.h"

#include "core/TapewrenError.h"
#include "recorder/RecordingClock.h"
#include "recorder/SpaceWatch.h"
#include "recorder/TimedStop.h"
#include "recorder/WarningLine.h"

#include <QAccessible>
#include <QTest>

using namespace std::chrono_literals;

namespace {
const QString Ready = QStringLiteral("1 1 1 0 1");
const QString StopOnly = QStringLiteral("0 0 0 1 0");
const QString Playing = QStringLiteral("正在播放...");
const QString Stopped = QStringLiteral("停止...");
const QString NewFileText = QStringLiteral("录音文件：当前录音文件为 Temp_Record_File.wav");
constexpr qint64 cdRate = 176400; // bytes a second of CD sound take
} // namespace

class RecorderProceduresTest : public QObject
{
    Q_OBJECT

private slots:
    void save_showsProgress_andCancelKeepsTheRecording();
    void newRecording_opensNewWaveformAndSelectsDevices();
    void newRecording_showsRefusalOnce_andGoesOn();
    void newRecording_stopsAtUnreadableDevice();

    void startRecording_entersRecordingState();
    void startRecording_skipsFailingSteps();
    void startRecording_staysReady_whenDeviceCannotRecord();

    void stopAndPlay_followTheControlStateTable();
    void stopAndPlay_endAtTheFailingStep();

    void save_writesChosenFile_thenOpensRingtones();
    void save_changesNothing_whenCancelled();
    void save_reportsFailure_andKeepsRecordingUnsaved();
    void save_runsGuardedSteps_whenFileNameCannotBeRead();

    void open_replacesRecording_withChosenFile();
    void open_changesNothing_whenCancelledAfterSave();
    void open_refusesUnreadableFile_beforeClosingAnything();
    void open_duringRecording_returnsToReady();
    void open_skipsEachFailingStep_data();
    void open_skipsEachFailingStep();

    void clockText_data();
    void clockText();
    void clockTick_writesElapsedTime_andSkipsFailingClock();

    void watch_data();
    void watch();
    void watch_dropsFailureInsideStop();

    // What else watches a recording, and the warning line the watches share. Time is the fake
    // clock's; the recording clock's ticks are real.
    void forecast_data();
    void forecast();
    void lowSpace_isMeasuredEveryFewSeconds_whileRecording();
    void warningLine_showsTheMostUrgent_andReadsOutAll();
    void timedStop_saysWhen_stopsThen_andGoesWithTheTake();
};

void RecorderProceduresTest::newRecording_opensNewWaveformAndSelectsDevices()
{
    RecorderRig rig;
    rig.recorder.IsModified = FlagTrue;
    rig.media.deviceId = 7;
    rig.Lblread->setText(Stopped);

    rig.recorder.NewRecording();

    QCOMPARE(rig.media.calls,
             QStringList({"Command close", "FileName new", "Command open", "DeviceID"}));
    QCOMPARE(rig.fakes.waveDevice.calls, QList<qint16>{7});
    QCOMPARE(rig.LblFile->text(), NewFileText);
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QCOMPARE(rig.Lblread->text(), Stopped);
    QCOMPARE(rig.buttons(), Ready);
}

void RecorderProceduresTest::newRecording_showsRefusalOnce_andGoesOn()
{
    RecorderRig rig;
    rig.recorder.IsModified = FlagTrue;
    rig.fakes.waveDevice.result = WaveDevice::NoInputDevice;

    rig.recorder.NewRecording();

    QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
    const FakeMessageBox::Shown box = rig.fakes.messageBox.shown.first();
    QCOMPARE(box.prompt, rig.fakes.waveDevice.errorText(WaveDevice::NoInputDevice, 300));
    QCOMPARE(box.style, 64);
    QCOMPARE(box.title, QStringLiteral("Tapewren音频录音机"));
    QCOMPARE(rig.recorder.IsModified, FlagFalse);

    // The next New starts afresh and succeeds without a message.
    rig.fakes.waveDevice.result = WaveDevice::Success;
    rig.recorder.NewRecording();
    QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
}

void RecorderProceduresTest::newRecording_stopsAtUnreadableDevice()
{
    RecorderRig rig;
    rig.recorder.IsModified = FlagTrue;
    rig.media.raising << QStringLiteral("DeviceID");

    QVERIFY_THROWS_EXCEPTION(TapewrenError, rig.recorder.NewRecording());

    QVERIFY(rig.fakes.waveDevice.calls.isEmpty());
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
    QCOMPARE(rig.LblFile->text(), NewFileText);
}

void RecorderProceduresTest::startRecording_entersRecordingState()
{
    RecorderRig rig;
    rig.recorder.StartRecording();

    QCOMPARE(rig.media.calls, QStringList{"Command record"});
    QCOMPARE(rig.Lblread->text(), QStringLiteral("录音开始时间为：14:05:09   (录音中...)"));
    QCOMPARE(rig.recorder.RecordStartTime, rig.fakes.clock.time);
    QCOMPARE(rig.fakes.clock.reads, 2); // the label and the start time are separate readings
    QVERIFY(rig.TimerBar->isActive());
    QCOMPARE(rig.buttons(), StopOnly);
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
    QCOMPARE(rig.LblFile->text(), QStringLiteral("文件：")); // until the clock's first tick
}

void RecorderProceduresTest::startRecording_skipsFailingSteps()
{
    RecorderRig rig;
    rig.media.raising << QStringLiteral("Command record");
    rig.fakes.clock.raises = true;
    const QDateTime before = rig.recorder.RecordStartTime;

    rig.recorder.StartRecording();

    QCOMPARE(rig.Lblread->text(), QStringLiteral("当前状态："));
    QCOMPARE(rig.recorder.RecordStartTime, before);
    QVERIFY(rig.TimerBar->isActive());
    QCOMPARE(rig.buttons(), StopOnly);
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
}

void RecorderProceduresTest::startRecording_staysReady_whenDeviceCannotRecord()
{
    RecorderRig rig;
    rig.media.refusing.insert(QStringLiteral("record"), QStringLiteral("没有可用的录音设备"));

    rig.recorder.StartRecording();

    QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
    QVERIFY(rig.fakes.messageBox.shown.first().prompt.contains(
            QStringLiteral("没有可用的录音设备")));
    QCOMPARE(rig.fakes.messageBox.shown.first().title, QStringLiteral("Tapewren音频录音机"));
    QCOMPARE(rig.buttons(), Ready);
    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.Lblread->text(), QStringLiteral("当前状态："));
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
}

void RecorderProceduresTest::stopAndPlay_followTheControlStateTable()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.recorder.StopRecording();
    QCOMPARE(rig.media.calls, QStringList({"Command record", "Command stop"}));
    QCOMPARE(rig.Lblread->text(), Stopped);
    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.buttons(), Ready);
    QCOMPARE(rig.recorder.IsModified, FlagTrue);

    rig.media.calls.clear();
    rig.TimerBar->start();
    rig.recorder.PlayRecording();
    QCOMPARE(rig.media.calls, QStringList({"Command prev", "Command play"}));
    QCOMPARE(rig.Lblread->text(), Playing);
    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.buttons(), StopOnly);
}

void RecorderProceduresTest::stopAndPlay_endAtTheFailingStep()
{
    RecorderRig rig;
    rig.setButtons(StopOnly);
    rig.media.raising << QStringLiteral("Command stop");
    QVERIFY_THROWS_EXCEPTION(TapewrenError, rig.recorder.StopRecording());
    QCOMPARE(rig.Lblread->text(), QStringLiteral("当前状态："));
    QCOMPARE(rig.buttons(), StopOnly);

    RecorderRig other;
    other.media.raising << QStringLiteral("Command prev");
    QVERIFY_THROWS_EXCEPTION(TapewrenError, other.recorder.PlayRecording());
    QCOMPARE(other.media.calls, QStringList{"Command prev"});
    QCOMPARE(other.buttons(), Ready);
}

void RecorderProceduresTest::save_writesChosenFile_thenOpensRingtones()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.media.calls.clear();
    rig.fakes.cdg.fileName = QStringLiteral("/old/offered.wav");
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/home/u/我的 录音.wav"));

    rig.recorder.SaveRecording();

    QCOMPARE(rig.fakes.cdg.calls,
             QStringList({"Filter *.wav|*.wav|FLAC 无损音频|*.flac|MP3 音频|*.mp3|"
                          "Ogg Vorbis 音频|*.ogg|Opus 音频|*.opus",
                          "FileName ",
                          "CancelError -1",
                          "ShowSave"}));
    QCOMPARE(rig.media.calls, QStringList({"FileName /home/u/我的 录音.wav", "Command save"}));
    QCOMPARE(rig.recorder.CurrentFileName, QStringLiteral("/home/u/我的 录音.wav"));
    QCOMPARE(rig.LblFile->text(), QStringLiteral("文件：/home/u/我的 录音.wav"));
    QCOMPARE(rig.Lblread->text(), Stopped);
    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
    QCOMPARE(rig.buttons(), StopOnly); // Save leaves the buttons alone
    QCOMPARE(rig.tuLingClicks, 1);
}

void RecorderProceduresTest::save_changesNothing_whenCancelled()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.recorder.StopRecording();
    rig.media.calls.clear();
    rig.LblFile->setText(QStringLiteral("录音时间：0分3秒"));

    rig.recorder.SaveRecording();

    QVERIFY(rig.media.calls.isEmpty());
    QCOMPARE(rig.LblFile->text(), QStringLiteral("录音时间：0分3秒"));
    QCOMPARE(rig.Lblread->text(), Stopped);
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
    QCOMPARE(rig.tuLingClicks, 1);
}

void RecorderProceduresTest::save_reportsFailure_andKeepsRecordingUnsaved()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.recorder.StopRecording();
    rig.LblFile->setText(QStringLiteral("录音时间：0分3秒"));
    rig.media.refusing.insert(QStringLiteral("save"), QStringLiteral("磁盘已满"));
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/full/take.wav"));

    rig.recorder.SaveRecording();

    QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
    const FakeMessageBox::Shown box = rig.fakes.messageBox.shown.first();
    QVERIFY(box.prompt.contains(QStringLiteral("/full/take.wav")));
    QVERIFY(box.prompt.contains(QStringLiteral("磁盘已满")));
    QCOMPARE(box.title, QStringLiteral("Tapewren音频录音机"));
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
    QCOMPARE(rig.LblFile->text(), QStringLiteral("录音时间：0分3秒"));
    QCOMPARE(rig.Lblread->text(), Stopped);
    QCOMPARE(rig.tuLingClicks, 1);
}

void RecorderProceduresTest::save_runsGuardedSteps_whenFileNameCannotBeRead()
{
    RecorderRig rig;
    rig.recorder.CurrentFileName = QStringLiteral("/earlier.wav");
    rig.recorder.IsModified = FlagTrue;
    rig.fakes.cdg.fileNameRaises = true;

    rig.recorder.SaveRecording();

    // The failing test runs its block; the unreadable name leaves the earlier one in place.
    QCOMPARE(rig.media.calls, QStringList({"FileName /earlier.wav", "Command save"}));
    QCOMPARE(rig.LblFile->text(), QStringLiteral("文件：/earlier.wav"));
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
    QCOMPARE(rig.tuLingClicks, 1);
}

void RecorderProceduresTest::open_replacesRecording_withChosenFile()
{
    RecorderRig rig;
    rig.recorder.IsModified = FlagTrue;
    rig.Lblread->setText(Stopped);
    rig.TimerBar->start();
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/music/a b.wav"));

    rig.recorder.OpenRecording();

    QCOMPARE(rig.fakes.cdg.calls.first(),
             QStringLiteral("Filter 所有支持的音频|*.wav;*.flac;*.mp3;*.ogg;*.opus|*.wav|*.wav"));
    QCOMPARE(rig.fakes.cdg.calls.last(), QStringLiteral("ShowOpen"));
    QVERIFY(!rig.fakes.cdg.calls.contains(QStringLiteral("CancelError -1")));
    QCOMPARE(rig.media.calls,
             QStringList({"Command close", "FileName /music/a b.wav", "Command open"}));
    QCOMPARE(rig.LblFile->text(), QStringLiteral("文件：/music/a b.wav"));
    QCOMPARE(rig.recorder.CurrentFileName, QStringLiteral("/music/a b.wav"));
    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
    QCOMPARE(rig.Lblread->text(), Stopped);
    QCOMPARE(rig.buttons(), Ready);
    QCOMPARE(rig.tuLingClicks, 0);
}

void RecorderProceduresTest::open_changesNothing_whenCancelledAfterSave()
{
    RecorderRig rig;
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/saved.wav"));
    rig.recorder.SaveRecording();
    rig.recorder.StartRecording();
    rig.recorder.StopRecording();
    rig.media.calls.clear();
    const QString fileLine = rig.LblFile->text();

    rig.recorder.OpenRecording(); // cancelled: no answer queued

    QVERIFY(rig.media.calls.isEmpty());
    QCOMPARE(rig.LblFile->text(), fileLine);
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
}

void RecorderProceduresTest::open_refusesUnreadableFile_beforeClosingAnything()
{
    RecorderRig rig;
    rig.recorder.IsModified = FlagTrue;
    rig.recorder.CurrentFileName = QStringLiteral("/kept.wav");
    rig.LblFile->setText(QStringLiteral("录音时间：1分2秒"));
    rig.media.badFiles.insert(QStringLiteral("/junk.wav"), QStringLiteral("不是有效的 WAV 文件"));
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/junk.wav"));

    rig.recorder.OpenRecording();

    QVERIFY(rig.media.calls.isEmpty());
    QCOMPARE(rig.fakes.messageBox.shown.size(), 1);
    QVERIFY(rig.fakes.messageBox.shown.first().prompt.contains(QStringLiteral("/junk.wav")));
    QVERIFY(rig.fakes.messageBox.shown.first().prompt.contains(
            QStringLiteral("不是有效的 WAV 文件")));
    QCOMPARE(rig.LblFile->text(), QStringLiteral("录音时间：1分2秒"));
    QCOMPARE(rig.recorder.CurrentFileName, QStringLiteral("/kept.wav"));
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
}

void RecorderProceduresTest::open_duringRecording_returnsToReady()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/x.wav"));

    rig.recorder.OpenRecording();

    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.Lblread->text(), QStringLiteral("停止..."));
    QCOMPARE(rig.buttons(), Ready);
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
}

void RecorderProceduresTest::open_skipsEachFailingStep_data()
{
    QTest::addColumn<QString>("failing");
    QTest::newRow("close") << QStringLiteral("Command close");
    QTest::newRow("file name") << QStringLiteral("FileName /music/a.wav");
    QTest::newRow("open") << QStringLiteral("Command open");
}

void RecorderProceduresTest::open_skipsEachFailingStep()
{
    QFETCH(QString, failing);
    RecorderRig rig;
    rig.recorder.IsModified = FlagTrue;
    rig.TimerBar->start();
    rig.media.raising << failing;
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/music/a.wav"));

    rig.recorder.OpenRecording();

    QCOMPARE(rig.media.calls,
             QStringList({"Command close", "FileName /music/a.wav", "Command open"}));
    QCOMPARE(rig.LblFile->text(), QStringLiteral("文件：/music/a.wav"));
    QVERIFY(!rig.TimerBar->isActive());
    QCOMPARE(rig.recorder.IsModified, FlagFalse);
}

void RecorderProceduresTest::clockText_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("text");
    QTest::newRow("0s") << qint64(0) << QStringLiteral("录音时间：0分0秒");
    QTest::newRow("59s") << qint64(59) << QStringLiteral("录音时间：0分59秒");
    QTest::newRow("60s") << qint64(60) << QStringLiteral("录音时间：1分0秒");
    QTest::newRow("2m5s") << qint64(125) << QStringLiteral("录音时间：2分5秒");
    QTest::newRow("1h5s") << qint64(3605) << QStringLiteral("录音时间：60分5秒");
    QTest::newRow("-61s") << qint64(-61) << QStringLiteral("录音时间：1分1秒");
    QTest::newRow("-59s") << qint64(-59) << QStringLiteral("录音时间：0分59秒");
}

void RecorderProceduresTest::clockText()
{
    QFETCH(qint64, elapsed);
    QFETCH(QString, text);
    QCOMPARE(RecordingClock::text(elapsed), text);
}

void RecorderProceduresTest::clockTick_writesElapsedTime_andSkipsFailingClock()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.fakes.clock.time = rig.fakes.clock.time.addSecs(3605);
    rig.recorder.TimerBar_Timer();
    QCOMPARE(rig.LblFile->text(), QStringLiteral("录音时间：60分5秒"));

    rig.fakes.clock.raises = true;
    rig.recorder.TimerBar_Timer();
    QCOMPARE(rig.LblFile->text(), QStringLiteral("录音时间：60分5秒"));
}

void RecorderProceduresTest::watch_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("length");
    QTest::addColumn<QString>("failingRead");
    QTest::addColumn<bool>("stops");
    QTest::newRow("playing at end") << Playing << 3000 << 3000 << QString() << true;
    QTest::newRow("playing past end") << Playing << 3001 << 3000 << QString() << true;
    QTest::newRow("empty recording") << Playing << 0 << 0 << QString() << true;
    QTest::newRow("playing before end") << Playing << 2999 << 3000 << QString() << false;
    QTest::newRow("recording at end") << QStringLiteral("录音开始时间为：14:05:09   (录音中...)")
                                      << 5 << 5 << QString() << false;
    QTest::newRow("stopped at end") << Stopped << 5 << 5 << QString() << false;
    QTest::newRow("two dots") << QStringLiteral("正在播放..") << 5 << 5 << QString() << false;
    QTest::newRow("trailing blank")
            << QStringLiteral("正在播放... ") << 5 << 5 << QString() << false;
    QTest::newRow("full-width dots")
            << QStringLiteral("正在播放．．．") << 5 << 5 << QString() << false;
    QTest::newRow("position unreadable") << Stopped << 0 << 5 << QStringLiteral("Position") << true;
    QTest::newRow("length unreadable") << Stopped << 0 << 5 << QStringLiteral("Length") << true;
}

void RecorderProceduresTest::watch()
{
    QFETCH(QString, status);
    QFETCH(qint32, position);
    QFETCH(qint32, length);
    QFETCH(QString, failingRead);
    QFETCH(bool, stops);

    RecorderRig rig;
    rig.setButtons(StopOnly);
    rig.Lblread->setText(status);
    rig.media.position = position;
    rig.media.length = length;
    if (!failingRead.isEmpty())
        rig.media.raising << failingRead;

    rig.recorder.MMCRecord_StatusUpdate();

    QCOMPARE(rig.media.calls.contains(QStringLiteral("Command stop")), stops);
    QCOMPARE(rig.buttons(), stops ? Ready : StopOnly);
    if (failingRead.isEmpty())
        QCOMPARE(rig.media.calls.mid(0, 2), QStringList({"Position", "Length"}));
}

void RecorderProceduresTest::watch_dropsFailureInsideStop()
{
    RecorderRig rig;
    rig.setButtons(StopOnly);
    rig.Lblread->setText(Playing);
    rig.media.raising << QStringLiteral("Command stop");

    rig.recorder.MMCRecord_StatusUpdate(); // must not throw

    QCOMPARE(rig.Lblread->text(), Playing);
    QCOMPARE(rig.buttons(), StopOnly);
}

void RecorderProceduresTest::save_showsProgress_andCancelKeepsTheRecording()
{
    RecorderRig rig;
    rig.recorder.StartRecording();
    rig.recorder.StopRecording();
    rig.media.saveSteps = {100, 200, 300, 400};

    // a save runs to its end with its progress shown, and the dialog goes
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/tmp/a.wav"));
    rig.recorder.SaveRecording();
    QCOMPARE(rig.fakes.progress.calls,
             QStringList({"begin 正在保存录音...",
                          "progress 100/400",
                          "progress 200/400",
                          "progress 300/400",
                          "progress 400/400",
                          "end"}));
    QCOMPARE(rig.recorder.IsModified, FlagFalse);

    // Cancel in the dialog stops it: no message, and the recording stays as unsaved as it was
    rig.recorder.StartRecording();
    rig.recorder.StopRecording();
    const QString fileLine = rig.LblFile->text();
    rig.fakes.progress.calls.clear();
    connect(&rig.media, &MediaControl::SaveProgress, [&rig](qint64 written, qint64) {
        if (written == 200)
            rig.fakes.progress.cancel();
    });
    rig.fakes.cdg.answers.enqueue(QStringLiteral("/tmp/b.wav"));
    rig.recorder.SaveRecording();
    QCOMPARE(rig.fakes.progress.calls.last(), QStringLiteral("end"));
    QCOMPARE(rig.fakes.progress.calls.size(), 4);
    QVERIFY(rig.fakes.messageBox.shown.isEmpty());
    QCOMPARE(rig.recorder.IsModified, FlagTrue);
    QCOMPARE(rig.LblFile->text(), fileLine);
    QCOMPARE(rig.tuLingClicks, 2);
}

void RecorderProceduresTest::forecast_data()
{
    QTest::addColumn<qint64>("freeBytes");
    QTest::addColumn<qint64>("bytesPerSecond");
    QTest::addColumn<QString>("warning");
    QTest::newRow("ten minutes") << 600 * cdRate << cdRate << "";
    QTest::newRow("a byte less") << 600 * cdRate - 1 << cdRate << "磁盘空间只够再录 9 分钟";
    QTest::newRow("30s") << 30 * cdRate << cdRate << "磁盘空间只够再录 0 分钟";
    QTest::newRow("rate unknown") << qint64(0) << qint64(0) << "";
}

void RecorderProceduresTest::forecast()
{
    QFETCH(qint64, freeBytes);
    QFETCH(qint64, bytesPerSecond);
    QFETCH(QString, warning);
    QCOMPARE(SpaceWatch::forecast(freeBytes, bytesPerSecond), warning);
}

void RecorderProceduresTest::lowSpace_isMeasuredEveryFewSeconds_whileRecording()
{
    RecorderRig rig;
    rig.window.show();
    FakeFreeSpace &disk = rig.fakes.freeSpace;
    rig.recorder.StartRecording();
    QCOMPARE(disk.asked, QStringList{"/spool"}); // at once
    emit disk.measured(5 * 60 * cdRate);
    // shown once the clock has the file line (the tmpfs test reads the text for real)
    QTRY_VERIFY(rig.lblWarning->isVisible());

    rig.fakes.clock.time = rig.fakes.clock.time.addSecs(4);
    QTest::qWait(500);
    QCOMPARE(disk.asked.size(), 1);
    rig.fakes.clock.time = rig.fakes.clock.time.addSecs(1);
    QTRY_COMPARE(disk.asked.size(), 2);
    emit disk.measured(20 * 60 * cdRate); // room again: a file was deleted
    QVERIFY(!rig.lblWarning->isVisible());

    emit disk.measured(60 * cdRate);
    rig.recorder.StopRecording();
    QVERIFY(!rig.lblWarning->isVisible());
    emit disk.measured(60 * cdRate); // a late answer
    rig.fakes.clock.time = rig.fakes.clock.time.addSecs(60);
    QTest::qWait(300);
    QVERIFY(!rig.lblWarning->isVisible());
    QCOMPARE(disk.asked.size(), 2);
}

void RecorderProceduresTest::warningLine_showsTheMostUrgent_andReadsOutAll()
{
    QWidget window;
    auto *label = new QLabel(&window);
    auto *meter = new QLabel(&window);
    window.show();
    WarningLine line(label, {meter});
    const auto readOut = [label] {
        return QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
    };

    line.set(WarningLine::NoSignal, QStringLiteral("未检测到声音输入"));
    QVERIFY(!label->isVisible()); // not on yet
    line.setOn(true);
    QVERIFY(label->isVisible() && !meter->isVisible());
    line.set(WarningLine::LowSpace, QStringLiteral("磁盘空间只够再录 3 分钟"));
    QCOMPARE(label->text(), QStringLiteral("磁盘空间只够再录 3 分钟"));
    QCOMPARE(readOut(), QStringLiteral("磁盘空间只够再录 3 分钟；未检测到声音输入"));
    line.clear(WarningLine::LowSpace);
    QCOMPARE(readOut(), QStringLiteral("未检测到声音输入"));
    line.clear(WarningLine::NoSignal);
    QVERIFY(!label->isVisible() && line.isEmpty());
}

void RecorderProceduresTest::timedStop_saysWhen_stopsThen_andGoesWithTheTake()
{
    RecorderRig rig;
    QLabel label;
    int stops = 0;
    TimedStop timedStop(&label, rig.media, rig.fakes.clock, [&stops] { ++stops; });
    rig.recorder.StartRecording();

    timedStop.set(15min); // the clock reads 14:05:09
    QCOMPARE(label.text(), QStringLiteral("将于 14:20:09 自动停止"));
    QVERIFY(!label.isHidden() && timedStop.isSet());
    timedStop.set(50ms); // replaces the earlier one
    QElapsedTimer waited;
    waited.start();
    QTRY_COMPARE(stops, 1);
    QVERIFY(waited.elapsed() >= 49);
    QVERIFY(label.isHidden() && !timedStop.isSet());

    timedStop.set(50ms);
    timedStop.cancel();
    timedStop.set(50ms);
    rig.recorder.StopRecording(); // the take ends some other way
    QVERIFY(label.isHidden() && !timedStop.isSet());
    QTest::qWait(150);
    QCOMPARE(stops, 1);
}

QTEST_MAIN(RecorderProceduresTest)
#include "tst_RecorderProcedures.moc"
