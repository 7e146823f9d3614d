#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"
#include "support/WavFixture.h"

#include "media/MediaTexts.h"
#include "media/WaveMediaControl.h"
#include "media/files/PendingSave.h"
#include "media/files/WaveFileHeader.h"
#include "media/files/WaveSaver.h"
#include "media/take/Waveform.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sndfile.h>

#include <sys/wait.h>
#include <unistd.h>

// The save that copies bytes as they lie against the one that goes through libsndfile: the same
// samples in the same container, whichever of them runs; and a save that is cancelled.
namespace {

// A take in the waveform's sample type, distinct from the file's sound.
QByteArray take(const Waveform &waveform, qint64 frames)
{
    QByteArray bytes(frames * waveform.format().bytesPerFrame(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131 + 17) % 251);
    if (waveform.format().sampleType() == SampleType::Float) {
        auto *samples = reinterpret_cast<float *>(bytes.data());
        for (qsizetype i = 0; i < bytes.size() / 4; ++i)
            samples[i] = float((i % 200) - 100) / 128.0f;
    }
    return bytes;
}

// What sox decodes of a file, as raw samples in the file's own encoding.
QByteArray soxSamples(const QString &path)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), {path, QStringLiteral("-t"), QStringLiteral("raw"), "-"});
    if (!sox.waitForFinished(30000) || sox.exitCode() != 0)
        return {};
    return sox.readAllStandardOutput();
}

int containerOf(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return 0;
    sf_close(file);
    return info.format;
}

} // namespace

class tst_WaveSaver : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void copy_holdsWhatLibsndfileWrites_data();
    void copy_holdsWhatLibsndfileWrites();
    void copy_holdsWhatLibsndfileWrites_pastFourGiB();
    void cancel_leavesTheOldFileAndNothingElse();
    void cancel_stopsASaveThatIsRunning();
    void leftovers_ofACrashedSave_goAtTheNextStart();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList folder() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_WaveSaver::copy_holdsWhatLibsndfileWrites_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("opened"); // a file of 3001 frames opened; otherwise a new recording
    QTest::addColumn<int>("takeAt");  // where a take of 777 frames goes in; -1 for none

    const int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    QTest::newRow("new recording") << pcm16 << 44100 << 2 << false << 0;
    QTest::newRow("8-bit file, odd length")
            << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 8000 << 1 << true << -1;
    QTest::newRow("24-bit file, odd length")
            << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 48000 << 1 << true << -1;
    QTest::newRow("16-bit, take inside") << pcm16 << 44100 << 2 << true << 1234;
    QTest::newRow("24-bit, take inside")
            << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 48000 << 1 << true << 1234;
    QTest::newRow("32-bit, take inside")
            << (SF_FORMAT_WAV | SF_FORMAT_PCM_32) << 96000 << 2 << true << 1234;
    QTest::newRow("float, take inside")
            << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 22050 << 3 << true << 1234;
}

void tst_WaveSaver::copy_holdsWhatLibsndfileWrites()
{
    QFETCH(int, format);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(bool, opened);
    QFETCH(int, takeAt);

    std::unique_ptr<Waveform> waveform;
    if (opened) {
        QVERIFY(WavFixture::write(path("base.wav"),
                                  WavFixture::signal(format, rate, channels, 3001)));
        Result<std::unique_ptr<Waveform>> file = Waveform::open(path("base.wav"));
        QVERIFY2(file.ok(), qPrintable(file.reason()));
        waveform = std::move(file.value());
    } else {
        waveform = std::make_unique<Waveform>(WaveFormat(rate, channels, format));
    }
    waveform->setSpoolFolder(path("spool"));
    if (takeAt >= 0) {
        QVERIFY(waveform->beginInsert(takeAt).ok());
        const QByteArray recorded = take(*waveform, 777);
        QVERIFY(waveform->appendInserted(recorded.constData(), 777).ok());
        waveform->endInsert();
    }

    const QString copied = path("copied.wav");
    const QString converted = path("converted.wav");
    QCOMPARE(WaveSaver::save(*waveform, copied).reason(), QString());
    QCOMPARE(WaveSaver::save(*waveform, converted, nullptr, WaveSaver::Method::ThroughLibsndfile)
                     .reason(),
             QString());

    // the same container and samples, as libsndfile and sox read them
    QCOMPARE(containerOf(copied), containerOf(converted));
    const WavFixture::Samples a = WavFixture::read(copied);
    const WavFixture::Samples b = WavFixture::read(converted);
    QCOMPARE(a.frames(), waveform->frames());
    QVERIFY(a.ints == b.ints);
    QVERIFY(a.doubles == b.doubles);
    const QByteArray soxCopied = soxSamples(copied);
    QVERIFY(!soxCopied.isEmpty());
    QCOMPARE(soxCopied, soxSamples(converted));
}

void tst_WaveSaver::copy_holdsWhatLibsndfileWrites_pastFourGiB()
{
    if (!qEnvironmentVariableIsSet("TAPEWREN_LONG_TESTS"))
        QSKIP("writes two files past 4 GiB: run with TAPEWREN_LONG_TESTS=1");
    if (QStorageInfo(m_dir->path()).bytesAvailable() < (10LL << 30))
        QSKIP("not enough free disk for two files past 4 GiB");
    // a sparse 16-bit stereo Wave64 source just past what RIFF describes, with sound written
    // around its middle and its end, and a take recorded into it
    const qint64 frames = (0x100000000LL + 40000) / 4;
    const auto le = [](auto value) {
        QByteArray bytes(sizeof value, '\0');
        qToLittleEndian(value, bytes.data());
        return bytes;
    };
    const QByteArray guid = QByteArray::fromHex("f3acd3118cd100c04f8edb8a");
    QByteArray header = QByteArray::fromHex("726966662e91cf11a5d628db04c10000") + le(quint64(0))
                        + "wave" + guid + "fmt " + guid + le(quint64(24 + 16)) + le(quint16(1))
                        + le(quint16(2)) + le(quint32(44100)) + le(quint32(44100 * 4))
                        + le(quint16(4)) + le(quint16(16)) + "data" + guid
                        + le(quint64(24 + frames * 4));
    qToLittleEndian<quint64>(quint64(header.size() + frames * 4), header.data() + 16);
    {
        QFile file(path("base.wav"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(header);
        QVERIFY(file.resize(header.size() + frames * 4));
        QByteArray sound(44100 * 4, Qt::Uninitialized);
        for (qsizetype i = 0; i < sound.size(); ++i)
            sound[i] = char(i * 7 + 3);
        for (const qint64 at : {frames / 2, frames - 44100}) {
            QVERIFY(file.seek(header.size() + at * 4));
            QCOMPARE(file.write(sound), sound.size());
        }
    }
    Result<std::unique_ptr<Waveform>> opened = Waveform::open(path("base.wav"));
    QVERIFY2(opened.ok(), qPrintable(opened.reason()));
    Waveform &waveform = *opened.value();
    QCOMPARE(waveform.frames(), frames);
    waveform.setSpoolFolder(path("spool"));
    QVERIFY(waveform.beginInsert(frames / 2 + 100).ok());
    const QByteArray recorded = take(waveform, 4410);
    QVERIFY(waveform.appendInserted(recorded.constData(), 4410).ok());
    waveform.endInsert();

    QCOMPARE(WaveSaver::save(waveform, path("copied.wav")).reason(), QString());
    QCOMPARE(WaveSaver::save(waveform,
                             path("converted.wav"),
                             nullptr,
                             WaveSaver::Method::ThroughLibsndfile)
                     .reason(),
             QString());
    QCOMPARE(containerOf(path("copied.wav")), SF_FORMAT_RF64 | SF_FORMAT_PCM_16);
    QCOMPARE(containerOf(path("converted.wav")), containerOf(path("copied.wav")));
    SF_INFO ia{}, ib{};
    SNDFILE *a = sf_open(QFile::encodeName(path("copied.wav")).constData(), SFM_READ, &ia);
    SNDFILE *b = sf_open(QFile::encodeName(path("converted.wav")).constData(), SFM_READ, &ib);
    QVERIFY(a && b);
    QCOMPARE(ia.frames, frames + 4410);
    QCOMPARE(ib.frames, ia.frames);
    std::vector<short> x(1 << 21), y(1 << 21);
    bool same = true;
    for (sf_count_t got; same && (got = sf_readf_short(a, x.data(), 1 << 20)) > 0;)
        same = sf_readf_short(b, y.data(), 1 << 20) == got
               && std::equal(x.begin(), x.begin() + got * 2, y.begin());
    sf_close(a);
    sf_close(b);
    QVERIFY(same);
    waveform.discard();
}

void tst_WaveSaver::cancel_leavesTheOldFileAndNothingElse()
{
    const QString target = path("old.wav");
    QVERIFY(WavFixture::write(target,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 80)));
    QFile old(target);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = old.readAll();
    const QStringList before = folder();

    for (const auto method : {WaveSaver::Method::Fastest, WaveSaver::Method::ThroughLibsndfile}) {
        Waveform waveform;
        waveform.setSpoolFolder(path("spool"));
        QVERIFY(waveform.beginInsert(0).ok());
        const QByteArray recorded = take(waveform, 44100);
        QVERIFY(waveform.appendInserted(recorded.constData(), 44100).ok());
        waveform.endInsert();
        WaveSaver::Progress progress;
        progress.cancel = true;
        QCOMPARE(WaveSaver::save(waveform, target, &progress, method).reason(),
                 MediaTexts::saveCancelled());
        QCOMPARE(folder(), before);
        QVERIFY(old.seek(0));
        QCOMPARE(old.readAll(), oldBytes);
        waveform.discard();
    }
}

void tst_WaveSaver::cancel_stopsASaveThatIsRunning()
{
    // a long file, sparse: it takes no room, and a while to copy
    const QString big = path("big.wav");
    const qint64 frames = qint64(1) << 28;
    const QByteArray header
            = WaveFileHeader::make(WaveFormat(44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16), frames);
    {
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(header);
        QVERIFY(file.resize(header.size() + frames * 4));
    }

    WaveMediaControl control(std::make_unique<SyntheticAudioInput>(),
                             std::make_unique<SyntheticAudioOutput>());
    control.setSpoolFolder(path("spool"));
    control.setFileName(big);
    QCOMPARE(control.setCommand("open").reason(), QString());
    // the first report of progress cancels it, as the progress dialog's Cancel would
    QSignalSpy progress(&control, &MediaControl::SaveProgress);
    connect(&control, &MediaControl::SaveProgress, &control, &MediaControl::cancelSave);
    control.setFileName(path("copy.wav"));
    QCOMPARE(control.setCommand("save").reason(), MediaTexts::saveCancelled());
    QVERIFY(!progress.isEmpty());
    QVERIFY(progress.first().at(0).toLongLong() < progress.first().at(1).toLongLong());
    QVERIFY(!QFile::exists(path("copy.wav")));
    QCOMPARE(folder(), QStringList{"big.wav"});
}

void tst_WaveSaver::leftovers_ofACrashedSave_goAtTheNextStart()
{
    const QString stateFolder = path("state");
    const Result<PendingSave> running = PendingSave::begin(path("kept.wav"),
                                                           stateFolder,
                                                           FileSystem::system());
    QVERIFY(running.ok());
    // another copy of the program dies in the middle of its save
    const pid_t child = ::fork();
    if (child == 0) {
        const Result<PendingSave> killed = PendingSave::begin(path("lost.wav"),
                                                              stateFolder,
                                                              FileSystem::system());
        ::_exit(killed.ok() ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(folder().size(), 2);

    PendingSave::removeLeftovers(stateFolder);
    // the running save keeps its file and its note; nothing is left of the dead one
    QCOMPARE(folder().size(), 1);
    QVERIFY(folder().first().startsWith(QStringLiteral(".kept.wav.tapewren-")));
    QCOMPARE(QDir(stateFolder).entryList(QDir::Files).size(), 1);
}

QTEST_GUILESS_MAIN(tst_WaveSaver)
#include "tst_wavesaver.moc"
