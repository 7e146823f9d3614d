#include "SyntheticAudioInput.h"
#include "SyntheticAudioOutput.h"

#include "media/WaveMediaControl.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <array>

// Hours of sound through the capture path the sound server uses, pushed as fast as the disk
// takes it. Not part of the normal test run: scripts/long-tests.sh runs it.
// TAPEWREN_LONG_DIR chooses the folder for the spool and the saved files (the temporary folder
// otherwise); it needs about 10 GB.

namespace {

constexpr qint64 rate = 44100;
constexpr qint64 frameBytes = 4; // 16-bit stereo
constexpr qint64 maxRssGrowth = 8 << 20;

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// The sample pair of frame n: both channels tell the frame's number, so any frame can be
// checked wherever it ends up.
std::array<qint16, 2> frameAt(qint64 n)
{
    return {qint16(n & 0x7FFF), qint16(-((n >> 15) & 0x7FFF))};
}

void fill(QByteArray &block, qint64 firstFrame)
{
    auto *samples = reinterpret_cast<qint16 *>(block.data());
    for (qint64 i = 0; i < block.size() / frameBytes; ++i) {
        const auto frame = frameAt(firstFrame + i);
        samples[2 * i] = frame[0];
        samples[2 * i + 1] = frame[1];
    }
}

// Frames at a few places of a saved file match what was captured there.
bool spotCheck(const QString &path, qint64 frames)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return false;
    bool same = true;
    for (qint64 at : {qint64(0), frames / 3, frames / 2, frames - 1}) {
        std::array<short, 2> got{};
        same = same && sf_seek(file, at, SEEK_SET) == at && sf_readf_short(file, got.data(), 1) == 1
               && got[0] == frameAt(at)[0] && got[1] == frameAt(at)[1];
    }
    sf_close(file);
    return same;
}

} // namespace

class tst_LongRecording : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void record_forHours_keepsMemoryFlatAndEveryFrame_data();
    void record_forHours_keepsMemoryFlatAndEveryFrame();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_LongRecording::init()
{
    const QString base = qEnvironmentVariable("TAPEWREN_LONG_DIR", QDir::tempPath());
    m_dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/tapewren-long-XXXXXX"));
    QVERIFY(m_dir->isValid());
}

void tst_LongRecording::record_forHours_keepsMemoryFlatAndEveryFrame_data()
{
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<QByteArray>("container");
    QTest::newRow("one hour") << rate * 3600 << QByteArray("RIFF");
    // just past what a RIFF header can describe: about 6 h 46 min
    QTest::newRow("past 4 GiB") << (0x100000000LL / frameBytes + rate) << QByteArray("RF64");
}

void tst_LongRecording::record_forHours_keepsMemoryFlatAndEveryFrame()
{
    QFETCH(qint64, frames);
    QFETCH(QByteArray, container);
    if (QStorageInfo(m_dir->path()).bytesAvailable() < 2 * frames * frameBytes + (1LL << 30))
        QSKIP("not enough free disk");

    auto input = std::make_unique<SyntheticAudioInput>();
    SyntheticAudioInput *source = input.get();
    WaveMediaControl control(std::move(input), std::make_unique<SyntheticAudioOutput>());
    control.setSpoolFolder(m_dir->path());
    control.setFileName("new");
    control.setCommand("open");
    QCOMPARE(control.setCommand("record").reason(), QString());

    // blocks of one second, written in the 10 ms pieces a sound server delivers
    QByteArray block(rate * frameBytes, Qt::Uninitialized);
    qint64 sent = 0;
    qint64 rssAtStart = 0;
    qint64 rssPeak = 0;
    while (sent < frames) {
        const qint64 n = std::min(rate, frames - sent);
        block.resize(n * frameBytes);
        fill(block, sent);
        source->push(block, 1764);
        sent += n;
        if (sent == rate * 10)
            rssAtStart = residentBytes(); // after the first buffers and pages are in place
        rssPeak = std::max(rssPeak, residentBytes());
    }
    QCOMPARE(control.setCommand("stop").reason(), QString());
    QCOMPARE(control.lengthFrames(), frames);

    const QString saved = m_dir->filePath(QStringLiteral("long.wav"));
    control.setFileName(saved);
    QCOMPARE(control.setCommand("save").reason(), QString());
    rssPeak = std::max(rssPeak, residentBytes());
    qInfo("%lld frames (%.1f h, %.2f GiB); RSS %.1f MiB after 10 s, peak %.1f MiB, growth %.2f MiB",
          frames,
          double(frames) / rate / 3600,
          double(frames * frameBytes) / (1 << 30),
          double(rssAtStart) / (1 << 20),
          double(rssPeak) / (1 << 20),
          double(rssPeak - rssAtStart) / (1 << 20));
    QVERIFY(rssPeak - rssAtStart < maxRssGrowth);

    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(4), container);
    file.close();
    QVERIFY(spotCheck(saved, frames));

    // and it opens again in the media control, whole
    control.setCommand("close");
    control.setFileName(saved);
    QCOMPARE(control.setCommand("open").reason(), QString());
    QCOMPARE(control.lengthFrames(), frames);
}

QTEST_GUILESS_MAIN(tst_LongRecording)
#include "tst_longrecording.moc"
