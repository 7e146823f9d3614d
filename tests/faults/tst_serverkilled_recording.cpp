#include "PrivateSoundServer.h"
#include "WaveWindow.h"

#include "media/MediaTexts.h"
#include "recorder/RecorderController.h"

#include <QFile>
#include <QPushButton>
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

// The sound server dies in the middle of a recording. Runs its own server: killing the shared
// one would break every other test.
class tst_ServerKilledWhileRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
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

void tst_ServerKilledWhileRecording::record_keepsCapturedAudio_whenServerIsKilled()
{
    WaveWindow w(WaveWindow::Sound::Server);
    QSignalSpy brokeOff(w.media.get(), &MediaControl::brokeOff);
    QVERIFY(w.click(w.ui().cmdRecord));
    QVERIFY(w.media->isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(w.media->Length() >= 1000, 20000);

    m_server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!w.media->isRecording(), 20000);
    QCOMPARE(brokeOff, QList<QVariantList>{{MediaTexts::serverLostRecording()}});
    const qint64 kept = w.media->lengthFrames();
    QVERIFY(kept >= 44100);

    QCOMPARE(w.buttons(), QStringLiteral("0 0 0 1 0"));
    QVERIFY(w.click(w.ui().cmdStop));
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.media->lengthFrames(), kept);

    const QString path = m_dir.filePath(QStringLiteral("kept.wav"));
    w.answerDialog(path);
    QVERIFY(w.click(w.ui().cmdSave));
    QCOMPARE(w.fakes.messageBox.shown.size(), 0);
    QCOMPARE(w.recorder().IsModified, FlagFalse);
    QCOMPARE(framesIn(path), kept);

    // without a server, Record is refused with its reason and Play can still be stopped
    QVERIFY(w.click(w.ui().cmdRecord));
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QVERIFY(!w.fakes.messageBox.shown.first().prompt.isEmpty());
    QCOMPARE(w.recorder().IsModified, FlagFalse);
    QVERIFY(w.click(w.ui().cmdPlay));
    QVERIFY(!w.media->isPlaying());
    QVERIFY(w.click(w.ui().cmdStop));
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.media->lengthFrames(), kept);
}

QTEST_MAIN(tst_ServerKilledWhileRecording)
#include "tst_serverkilled_recording.moc"
