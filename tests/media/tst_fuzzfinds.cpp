// What fuzzing the open path found, kept from coming back. The inputs themselves live in
// tests/fuzz/regressions and are replayed here through the same steps the fuzz target takes.

#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"
#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

namespace {

constexpr qint64 pullBytes = 4096;
constexpr int maxPulls = 10000;

struct Rig
{
    Rig()
        : Rig(std::make_unique<SyntheticAudioOutput>())
    {}
    explicit Rig(std::unique_ptr<SyntheticAudioOutput> played)
        : output(played.get())
        , control(std::make_unique<SyntheticAudioInput>(), std::move(played))
    {}

    SyntheticAudioOutput *output; // owned by control
    WaveMediaControl control;
};

// Plays the open file and lets the output take all of it at once, as a sink with room would;
// the control must see the end straight away rather than wait out a drain that never comes.
void playAll(Rig &rig)
{
    rig.control.setCommand(QStringLiteral("prev"));
    const Result<> played = rig.control.setCommand(QStringLiteral("play"));
    QVERIFY2(played.ok(), qPrintable(played.reason()));
    for (int i = 0; rig.control.isPlaying() && i < maxPulls; ++i)
        rig.output->pull(pullBytes);
}

} // namespace

class tst_FuzzFinds : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void usToFrames_reachesEveryFrame_ofSinkClock_data();
    void usToFrames_reachesEveryFrame_ofSinkClock();
    void play_endsAtLength_withoutDrainWait_data();
    void play_endsAtLength_withoutDrainWait();
    void fuzzInput_opensPlaysToEndAndSaves_data();
    void fuzzInput_opensPlaysToEndAndSaves();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_FuzzFinds::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_FuzzFinds::usToFrames_reachesEveryFrame_ofSinkClock_data()
{
    QTest::addColumn<int>("rate");
    for (int rate : {8000, 44100, 96000, 192000, 500001, 767999, 768000})
        QTest::newRow(qPrintable(QStringLiteral("%1Hz").arg(rate))) << rate;
}

void tst_FuzzFinds::usToFrames_reachesEveryFrame_ofSinkClock()
{
    QFETCH(int, rate);
    const WaveFormat format(rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const AudioFormat sink = format.audioFormat();
    for (qint64 frames : {qint64(1), qint64(6), qint64(7), qint64(1001), qint64(rate) + 13}) {
        // a sink's clock counts whole microseconds of what it took
        const qint64 us = sink.durationForBytes(qint32(frames * sink.bytesPerFrame()));
        QCOMPARE(format.usToFrames(us), frames);
    }
}

void tst_FuzzFinds::play_endsAtLength_withoutDrainWait_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("frames");
    QTest::newRow("44100Hz-300") << 44100 << 300;
    QTest::newRow("500001Hz-6") << 500001 << 6;
    QTest::newRow("768000Hz-1") << 768000 << 1;
    QTest::newRow("768000Hz-6") << 768000 << 6;
    QTest::newRow("768000Hz-1000") << 768000 << 1000;
}

void tst_FuzzFinds::play_endsAtLength_withoutDrainWait()
{
    QFETCH(int, rate);
    QFETCH(int, frames);
    const QString path = m_dir->filePath(QStringLiteral("tone.wav"));
    QVERIFY(WavFixture::write(path,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                 rate,
                                                 1,
                                                 frames)));
    Rig rig;
    rig.control.setFileName(path);
    const Result<> opened = rig.control.setCommand(QStringLiteral("open"));
    QVERIFY2(opened.ok(), qPrintable(opened.reason()));

    playAll(rig);
    QVERIFY(!rig.control.isPlaying());
    QCOMPARE(rig.control.positionFrames(), qint64(frames));
    QCOMPARE(rig.control.Position(), rig.control.Length());
}

void tst_FuzzFinds::fuzzInput_opensPlaysToEndAndSaves_data()
{
    QTest::addColumn<QString>("path");
    const QDir folder(qEnvironmentVariable("TAPEWREN_SOURCE_DIR")
                      + QStringLiteral("/tests/fuzz/regressions"));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), qPrintable(folder.path()));
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << folder.filePath(name);
}

void tst_FuzzFinds::fuzzInput_opensPlaysToEndAndSaves()
{
    QFETCH(QString, path);
    Rig rig;
    const QString problem = rig.control.canOpen(path).reason();
    rig.control.setFileName(path);
    QCOMPARE(rig.control.setCommand(QStringLiteral("open")).reason(), problem);
    if (!problem.isEmpty())
        return; // refused cleanly, which is all a damaged file may ask

    playAll(rig);
    QVERIFY(!rig.control.isPlaying());
    QCOMPARE(rig.control.Position(), rig.control.Length());

    // saved as the fuzz target saves it: WAV, or a compressed format the input's size picks
    const char *const compressed[] = {"saved.flac", "saved.mp3", "saved.ogg", "saved.opus"};
    const qint64 size = QFileInfo(path).size();
    const QString saved = m_dir->filePath(
            QString::fromLatin1(size % 8 < 4 ? "saved.wav" : compressed[size % 4]));
    rig.control.setFileName(saved);
    const Result<> written = rig.control.setCommand(QStringLiteral("save"));
    QVERIFY2(written.ok(), qPrintable(written.reason()));
    Rig again;
    again.control.setFileName(saved);
    const Result<> reopened = again.control.setCommand(QStringLiteral("open"));
    QVERIFY2(reopened.ok(), qPrintable(reopened.reason()));
    if (saved.endsWith(u".wav"))
        QCOMPARE(again.control.lengthFrames(), rig.control.lengthFrames());
}

QTEST_GUILESS_MAIN(tst_FuzzFinds)
#include "tst_fuzzfinds.moc"
