#include "PrivateSoundServer.h"
#include "WaveWindow.h"

#include "media/MediaTexts.h"
#include "recorder/RecorderController.h"

#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

namespace {

qint64 framesIn(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.frames;
}

} // namespace

// The input goes away, then the sound server dies, in the middle of a recording. Runs its own
// server: killing the shared one would break every other test.
class tst_ServerKilledWhileRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void record_keepsCapturedAudio_whenInputIsRemoved();
    void record_keepsCapturedAudio_whenServerIsKilled();

private:
    PrivateSoundServer m_server;
    QTemporaryDir m_dir;
};

void tst_ServerKilledWhileRecording::initTestCase()
{
    const QString problem = m_server.start();
    if (problem.contains(QStringLiteral("not installed")))
        QSKIP(qPrintable(problem));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_ServerKilledWhileRecording::record_keepsCapturedAudio_whenInputIsRemoved()
{
    WaveWindow w(WaveWindow::Sound::Server);
    QVERIFY(w.click(w.ui().cmdRecord));
    QTRY_VERIFY_WITH_TIMEOUT(w.media->Length() >= 1000, 20000);

    QVERIFY(m_server.removeInput());
    const auto restore = qScopeGuard([&] {
        // the next test records from it again
        QVERIFY(m_server.restoreInput());
    });
    QTRY_VERIFY_WITH_TIMEOUT(!w.media->isRecording(), 5000);

    const qint64 kept = w.media->lengthFrames();
    QVERIFY(kept >= 44100);
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QCOMPARE(w.fakes.messageBox.shown.first().prompt,
             QStringLiteral("录音已中断：录音设备已断开。已保留 %1 的录音，可以播放或保存。")
                     .arg(QStringLiteral("0分%1秒").arg(kept / 44100)));

    const QString path = m_dir.filePath(QStringLiteral("unplugged.wav"));
    w.answerDialog(path);
    QVERIFY(w.click(w.ui().cmdSave));
    QCOMPARE(framesIn(path), kept);
}

void tst_ServerKilledWhileRecording::record_keepsCapturedAudio_whenServerIsKilled()
{
    WaveWindow w(WaveWindow::Sound::Server);
    QSignalSpy brokeOff(w.media.get(), &MediaControl::brokeOff);
    QVERIFY(w.click(w.ui().cmdRecord));
    QVERIFY(w.media->isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(w.media->Length() >= 1000, 20000);

    m_server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!w.media->isRecording(), 20000);
    QCOMPARE(brokeOff, QList<QVariantList>{{MediaTexts::serverLost()}});
    const qint64 kept = w.media->lengthFrames();
    QVERIFY(kept >= 44100);

    // the window is back to ready by itself, and says so
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QVERIFY(!w.ui().TimerBar->isActive());
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QVERIFY2(w.fakes.messageBox.shown.first().prompt.startsWith(
                     QStringLiteral("录音已中断：与声音服务器的连接中断。已保留 ")),
             qPrintable(w.fakes.messageBox.shown.first().prompt));
    w.fakes.messageBox.shown.clear();
    QCOMPARE(w.media->lengthFrames(), kept);

    const QString path = m_dir.filePath(QStringLiteral("kept.wav"));
    w.answerDialog(path);
    QVERIFY(w.click(w.ui().cmdSave));
    QCOMPARE(w.fakes.messageBox.shown.size(), 0);
    QCOMPARE(w.recorder().IsModified, FlagFalse);
    QCOMPARE(framesIn(path), kept);

    // without a server, Record and Play are refused with their reasons; the window stays ready
    QVERIFY(w.click(w.ui().cmdRecord));
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QVERIFY(!w.fakes.messageBox.shown.first().prompt.isEmpty());
    QCOMPARE(w.recorder().IsModified, FlagFalse);
    QVERIFY(w.click(w.ui().cmdPlay));
    QVERIFY(!w.media->isPlaying());
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 2);
    QCOMPARE(w.media->lengthFrames(), kept);
}

QTEST_MAIN(tst_ServerKilledWhileRecording)
#include "tst_serverkilled_recording.moc"
