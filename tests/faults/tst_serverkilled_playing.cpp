#include "PrivateSoundServer.h"
#include "WavFixture.h"
#include "WaveWindow.h"

#include "media/MediaTexts.h"
#include "recorder/RecorderController.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

// The output goes away, then the sound server dies, in the middle of a playback. Runs its own
// server: killing the shared one would break every other test.
class tst_ServerKilledWhilePlaying : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void play_breaksOff_whenOutputIsRemoved();
    void play_stopsCleanly_whenServerIsKilled();

private:
    QString writeTone(); // ten seconds; empty when it cannot be written

    PrivateSoundServer m_server;
    QTemporaryDir m_dir;
};

void tst_ServerKilledWhilePlaying::initTestCase()
{
    const QString problem = m_server.start();
    if (problem.contains(QStringLiteral("not installed")))
        QSKIP(qPrintable(problem));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QString tst_ServerKilledWhilePlaying::writeTone()
{
    const QString tone = m_dir.filePath(QStringLiteral("tone.wav"));
    const WavFixture::Samples samples = WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                           44100,
                                                           2,
                                                           10 * 44100);
    return WavFixture::write(tone, samples) ? tone : QString();
}

void tst_ServerKilledWhilePlaying::play_breaksOff_whenOutputIsRemoved()
{
    // the playback goes to the sink that is the default at Open, and may not move from it
    QString module;
    QVERIFY(m_server.pactl({"load-module", "module-null-sink", "sink_name=out2"}, &module));
    QVERIFY(m_server.pactl({"set-default-sink", "out2"}));
    const auto restore = qScopeGuard([&] { m_server.pactl({"set-default-sink", "out"}); });
    const QString tone = writeTone();
    QVERIFY(!tone.isEmpty());

    WaveWindow w(WaveWindow::Sound::Server);
    w.answerDialog(tone);
    QVERIFY(w.click(w.ui().cmdOpen));
    QSignalSpy brokeOff(w.media.get(), &MediaControl::brokeOff);
    QVERIFY(w.click(w.ui().cmdPlay));
    QTRY_VERIFY_WITH_TIMEOUT(w.media->Position() >= 500, 20000);

    QVERIFY(m_server.pactl({"unload-module", module.trimmed()}));
    QTRY_VERIFY_WITH_TIMEOUT(!w.media->isPlaying(), 5000);
    QCOMPARE(brokeOff, QList<QVariantList>{{MediaTexts::outputDeviceLost()}});
    QVERIFY(w.media->Position() < w.media->Length());
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QCOMPARE(w.fakes.messageBox.shown.first().prompt,
             QStringLiteral("播放已中断：放音设备已断开。"));
}

void tst_ServerKilledWhilePlaying::play_stopsCleanly_whenServerIsKilled()
{
    const QString tone = writeTone();
    QVERIFY(!tone.isEmpty());

    WaveWindow w(WaveWindow::Sound::Server);
    w.answerDialog(tone);
    QVERIFY(w.click(w.ui().cmdOpen));
    QCOMPARE(w.media->Length(), 10000);
    QSignalSpy brokeOff(w.media.get(), &MediaControl::brokeOff);
    QVERIFY(w.click(w.ui().cmdPlay));
    QVERIFY(w.media->isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(w.media->Position() >= 500, 20000);

    m_server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!w.media->isPlaying(), 20000);
    QCOMPARE(brokeOff, QList<QVariantList>{{MediaTexts::serverLost()}});
    QVERIFY(w.media->Position() < w.media->Length());

    // the window is back to ready by itself, and says so
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QCOMPARE(w.fakes.messageBox.shown.first().prompt,
             QStringLiteral("播放已中断：与声音服务器的连接中断。"));
    w.fakes.messageBox.shown.clear();

    // the sound is all still there
    const QString copy = m_dir.filePath(QStringLiteral("copy.wav"));
    w.answerDialog(copy);
    QVERIFY(w.click(w.ui().cmdSave));
    QCOMPARE(w.fakes.messageBox.shown.size(), 0);
    QVERIFY(WavFixture::read(copy).ints == WavFixture::read(tone).ints);

    // playing again without a server is refused with the reason, and the window stays ready
    QVERIFY(w.click(w.ui().cmdPlay));
    QVERIFY(!w.media->isPlaying());
    QCOMPARE(w.buttons(), QStringLiteral("1 1 1 0 1"));
    QCOMPARE(w.fakes.messageBox.shown.size(), 1);
    QCOMPARE(w.fakes.messageBox.shown.first().prompt,
             QStringLiteral("无法播放：无法连接声音服务器。"));
}

QTEST_MAIN(tst_ServerKilledWhilePlaying)
#include "tst_serverkilled_playing.moc"
