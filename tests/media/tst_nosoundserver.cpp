#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"
#include "media/server/PulseConnection.h"

#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

// Run with PULSE_SERVER naming a socket nobody listens on: commands that need the server fail
// with a reason at once and change nothing.
class tst_NoSoundServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void record_failsWithReason();
    void play_failsWithReason();
};

void tst_NoSoundServer::initTestCase()
{
    PulseConnection pulse;
    if (pulse.devices(std::chrono::milliseconds(500)).ok())
        QSKIP("a sound server answered although none should be reachable");
}

void tst_NoSoundServer::record_failsWithReason()
{
    WaveMediaControl control;
    control.setFileName("new");
    QCOMPARE(control.setCommand("open").reason(), QString());
    QCOMPARE(control.setCommand("record").reason(), QStringLiteral(u"无法连接声音服务器"));
    QVERIFY(!control.isRecording());
    QCOMPARE(control.Length(), 0);
}

void tst_NoSoundServer::play_failsWithReason()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("tone.wav");
    QVERIFY(WavFixture::write(file,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 800)));
    WaveMediaControl control;
    control.setFileName(file);
    control.setCommand("open");
    QCOMPARE(control.setCommand("play").reason(), QStringLiteral(u"无法连接声音服务器"));
    QVERIFY(!control.isPlaying());
    QCOMPARE(control.Position(), 0);
}

QTEST_GUILESS_MAIN(tst_NoSoundServer)
#include "tst_nosoundserver.moc"
