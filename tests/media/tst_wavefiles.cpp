#include "FileSizeLimit.h"
#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"
#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::unique_ptr<WaveMediaControl> makeControl()
{
    return std::make_unique<WaveMediaControl>(std::make_unique<SyntheticAudioInput>(),
                                              std::make_unique<SyntheticAudioOutput>());
}

QByteArray le16(quint16 v)
{
    QByteArray b(2, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le64(quint64 v)
{
    QByteArray b(8, 0);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray fmtChunk(quint16 channels, quint32 rate, quint16 bits = 16)
{
    const quint16 align = quint16(channels * (bits / 8));
    return "fmt " + le32(16) + le16(1) + le16(channels) + le32(rate) + le32(rate * align)
           + le16(align) + le16(bits);
}

// A PCM RIFF WAVE file whose data chunk claims dataSize bytes but holds actualBytes.
QByteArray riff(const QByteArray &format, quint32 dataSize, int actualBytes)
{
    const QByteArray body = "WAVE" + format + "data" + le32(dataSize) + QByteArray(actualBytes, 7);
    return "RIFF" + le32(quint32(body.size())) + body;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Root-mean-square difference of two integer decodings, as a fraction of full scale.
double rmsDifference(const WavFixture::Samples &a, const WavFixture::Samples &b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.ints.size(); ++i) {
        const double d = (double(a.ints[i]) - double(b.ints[i])) / 2147483648.0;
        sum += d * d;
    }
    return a.ints.empty() ? 0 : std::sqrt(sum / double(a.ints.size()));
}

} // namespace

class tst_WaveFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void roundTrip_keepsEverySample_data();
    void roundTrip_keepsEverySample();

    void open_refusesMalformedFile_data();
    void open_refusesMalformedFile();
    void open_survivesCorruptedHeaders();

    void save_fails_whenFolderIsMissing_data();
    void save_fails_whenFolderIsMissing();
    void save_fails_whenFolderIsReadOnly();
    void save_keepsOldFile_whenDiskIsFull();
    void save_overTheOpenFile_keepsItReadable();
    void save_writesRf64_pastFourGiB();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // Names in the folder other than the given ones: leftovers of a failed save.
    QStringList strays(const QStringList &expected) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_WaveFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QStringList tst_WaveFiles::strays(const QStringList &expected) const
{
    QStringList names = QDir(m_dir->path())
                                .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : expected)
        names.removeAll(name);
    return names;
}

void tst_WaveFiles::roundTrip_keepsEverySample_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    // root-mean-square difference allowed after re-encoding, as a fraction of full scale
    QTest::addColumn<double>("tolerance");

    QTest::newRow("pcm_u8") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 1 << 8000 << 0.0;
    QTest::newRow("pcm_16") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 2 << 44100 << 0.0;
    QTest::newRow("pcm_24") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 2 << 48000 << 0.0;
    QTest::newRow("pcm_32") << (SF_FORMAT_WAV | SF_FORMAT_PCM_32) << 2 << 96000 << 0.0;
    QTest::newRow("float") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 2 << 44100 << 0.0;
    QTest::newRow("double") << (SF_FORMAT_WAV | SF_FORMAT_DOUBLE) << 1 << 44100 << 0.0;
    QTest::newRow("mu-law") << (SF_FORMAT_WAV | SF_FORMAT_ULAW) << 1 << 8000 << 0.0;
    QTest::newRow("a-law") << (SF_FORMAT_WAV | SF_FORMAT_ALAW) << 1 << 8000 << 0.0;
    // ADPCM encodes the difference to a prediction: encoding decoded ADPCM again is close to,
    // not identical with, the first encoding
    QTest::newRow("ima_adpcm") << (SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM) << 2 << 22050 << 0.05;
    QTest::newRow("ms_adpcm") << (SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM) << 1 << 22050 << 0.05;
    QTest::newRow("extensible_24_6ch") << (SF_FORMAT_WAVEX | SF_FORMAT_PCM_24) << 6 << 48000 << 0.0;
    QTest::newRow("extensible_float") << (SF_FORMAT_WAVEX | SF_FORMAT_FLOAT) << 2 << 44100 << 0.0;
    QTest::newRow("rf64_16") << (SF_FORMAT_RF64 | SF_FORMAT_PCM_16) << 2 << 44100 << 0.0;
    QTest::newRow("w64_24") << (SF_FORMAT_W64 | SF_FORMAT_PCM_24) << 2 << 44100 << 0.0;
    QTest::newRow("w64_double") << (SF_FORMAT_W64 | SF_FORMAT_DOUBLE) << 2 << 32000 << 0.0;
    QTest::newRow("rifx_16") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG) << 2 << 44100
                             << 0.0;
}

void tst_WaveFiles::roundTrip_keepsEverySample()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(double, tolerance);

    const QString source = path("source.wav");
    QVERIFY(WavFixture::write(source, WavFixture::signal(format, rate, channels, 30011)));
    const WavFixture::Samples reference = WavFixture::read(source);
    QVERIFY(reference.frames() > 0);

    auto control = makeControl();
    control->setFileName(source);
    QCOMPARE(control->setCommand("open").reason(), QString());
    QCOMPARE(control->lengthFrames(), reference.frames());
    QCOMPARE(control->Length(), qint32(reference.frames() * 1000 / rate));

    // save, open what was saved, save that again: both generations must hold the samples
    const QString first = path("first.wav");
    const QString second = path("second.wav");
    control->setFileName(first);
    QCOMPARE(control->setCommand("save").reason(), QString());
    control->setCommand("close");
    control->setFileName(first);
    QCOMPARE(control->setCommand("open").reason(), QString());
    control->setFileName(second);
    QCOMPARE(control->setCommand("save").reason(), QString());

    for (const QString &saved : {first, second}) {
        const QByteArray head = fileBytes(saved).left(12);
        QCOMPARE(head.left(4), QByteArray("RIFF"));
        QCOMPARE(head.mid(8, 4), QByteArray("WAVE"));
        const WavFixture::Samples got = WavFixture::read(saved);
        QCOMPARE(got.sampleRate, rate);
        QCOMPARE(got.channels, channels);
        QCOMPARE(got.format & SF_FORMAT_SUBMASK, format & SF_FORMAT_SUBMASK);
        QCOMPARE(got.frames(), reference.frames());
        if (tolerance == 0) {
            QVERIFY(got.ints == reference.ints);
            QVERIFY(got.doubles == reference.doubles);
        } else {
            QVERIFY2(rmsDifference(got, reference) <= tolerance,
                     qPrintable(QString::number(rmsDifference(got, reference))));
        }
    }
    QVERIFY(strays({"source.wav", "first.wav", "second.wav"}).isEmpty());
}

void tst_WaveFiles::open_refusesMalformedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reasonPart");

    const QByteArray good = riff(fmtChunk(2, 44100), 400, 400);
    QTest::newRow("empty") << QByteArray() << QStringLiteral(u"文件是空的");
    QTest::newRow("text") << QByteArray("just some text, not a sound file\n")
                          << QStringLiteral(
                                     u"不是 WAV、FLAC、MP3、Ogg Vorbis 或 Opus 格式的声音文件");
    QTest::newRow("aiff-like")
            << QByteArray("FORM\0\0\0\x20"
                          "AIFFCOMM",
                          16)
            << QStringLiteral(u"不是 WAV、FLAC、MP3、Ogg Vorbis 或 Opus 格式的声音文件");
    QTest::newRow("truncated data")
            << riff(fmtChunk(2, 44100), 100000, 400) << QStringLiteral(u"超出了文件末尾");
    QTest::newRow("truncated header") << good.left(30) << QStringLiteral(u"格式信息");
    QTest::newRow("riff only") << good.left(12) << QStringLiteral(u"缺少格式信息");
    QTest::newRow("zero channels")
            << riff(fmtChunk(0, 44100), 400, 400) << QStringLiteral(u"声道数不合理");
    QTest::newRow("huge channels")
            << riff(fmtChunk(60000, 44100), 400, 400) << QStringLiteral(u"声道数不合理");
    QTest::newRow("zero rate") << riff(fmtChunk(2, 0), 400, 400) << QStringLiteral(u"采样率不合理");
    QTest::newRow("huge rate") << riff(fmtChunk(2, 0xFFFFFFF0u), 400, 400)
                               << QStringLiteral(u"采样率不合理");
    QTest::newRow("zero bits") << riff(fmtChunk(2, 44100, 0), 400, 400) << QString();
    QTest::newRow("data before format") << "RIFF" + le32(100) + "WAVE" + "data" + le32(8)
                                                   + QByteArray(8, 0) + fmtChunk(2, 44100)
                                        << QStringLiteral(u"缺少格式信息");
    QTest::newRow("chunk past end")
            << "RIFF" + le32(100) + "WAVE" + "LIST" + le32(0x7FFFFFF0) + QByteArray(64, 0)
            << QStringLiteral(u"超出了文件末尾");
    QTest::newRow("rf64 data past end")
            << "RF64" + le32(0xFFFFFFFF) + "WAVE" + "ds64" + le32(28) + le64(1000)
                       + le64(0x100000000LL) + le64(0) + le32(0) + fmtChunk(2, 44100) + "data"
                       + le32(0xFFFFFFFF) + QByteArray(64, 1)
            << QStringLiteral(u"超出了文件末尾");
    QByteArray w64;
    {
        const QString name = QDir::temp().filePath("tapewren-w64-%1.w64").arg(getpid());
        WavFixture::write(name,
                          WavFixture::signal(SF_FORMAT_W64 | SF_FORMAT_PCM_16, 8000, 1, 4000));
        w64 = fileBytes(name);
        QFile::remove(name);
    }
    QTest::newRow("w64 truncated") << w64.left(w64.size() / 2) << QStringLiteral(u"超出了文件末尾");
}

void tst_WaveFiles::open_refusesMalformedFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reasonPart);

    const QString bad = path("bad.wav");
    QVERIFY(writeBytes(bad, bytes));

    auto control = makeControl();
    control->setFileName("new");
    control->setCommand("open");
    const qint16 id = control->DeviceID();
    const QString problem = control->canOpen(bad).reason();
    QVERIFY(!problem.isEmpty());
    QVERIFY2(problem.contains(reasonPart), qPrintable(problem));

    // a refused open leaves what was open as it was
    control->setFileName(bad);
    QCOMPARE(control->setCommand("open").reason(), problem);
    QCOMPARE(control->DeviceID(), id);
    QCOMPARE(control->Length(), 0);
}

void tst_WaveFiles::open_survivesCorruptedHeaders()
{
    const QString source = path("source.wav");
    QVERIFY(WavFixture::write(source,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM,
                                                 8000,
                                                 2,
                                                 3000)));
    const QByteArray original = fileBytes(source);
    std::mt19937 random(42);
    auto control = makeControl();
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = original;
        const int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i)
            bytes[int(random() % 80)] = char(random());
        if (round % 3 == 0)
            bytes.truncate(int(random() % bytes.size()));
        const QString bad = path("corrupt.wav");
        QVERIFY(writeBytes(bad, bytes));
        control->setFileName(bad);
        if (!control->setCommand("open").reason().isEmpty())
            continue;
        // whatever opened must also read to its end
        ++opened;
        control->setFileName(path("resaved.wav"));
        control->setCommand("save");
    }
    QVERIFY(opened > 0);
}

void tst_WaveFiles::save_fails_whenFolderIsMissing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder")
            << QStringLiteral("no/such/folder/x.wav") << QStringLiteral(u"文件或文件夹不存在");
    QTest::newRow("file in place of folder")
            << QStringLiteral("plain.txt/x.wav") << QStringLiteral(u"路径中有一项不是文件夹");
    QTest::newRow("folder in place of file")
            << QStringLiteral("sub") << QStringLiteral(u"这是一个文件夹");
}

void tst_WaveFiles::save_fails_whenFolderIsMissing()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QVERIFY(writeBytes(path("plain.txt"), "hello"));
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));

    auto control = makeControl();
    control->setFileName("new");
    control->setCommand("open");
    control->setFileName(path(target));
    QCOMPARE(control->setCommand("save").reason(), reason);
    QCOMPARE(fileBytes(path("plain.txt")), QByteArray("hello"));
    QVERIFY(strays({"plain.txt"}).isEmpty());
    QVERIFY(QDir(path("sub")).isEmpty());
}

void tst_WaveFiles::save_fails_whenFolderIsReadOnly()
{
    const QString folder = path("locked");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    if (::access(QFile::encodeName(folder).constData(), W_OK) == 0) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("running as root: folder permissions do not stop writes here");
    }
    auto control = makeControl();
    control->setFileName("new");
    control->setCommand("open");
    control->setFileName(folder + "/x.wav");
    QCOMPARE(control->setCommand("save").reason(), QStringLiteral(u"没有访问权限"));
    QVERIFY(QDir(folder).isEmpty());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void tst_WaveFiles::save_keepsOldFile_whenDiskIsFull()
{
    const QString target = path("target.wav");
    QVERIFY(WavFixture::write(target,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 800)));
    const QByteArray old = fileBytes(target);
    const QString source = path("big.wav");
    QVERIFY(WavFixture::write(source,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                 44100,
                                                 2,
                                                 88200)));

    auto control = makeControl();
    control->setFileName(source);
    QCOMPARE(control->setCommand("open").reason(), QString());
    Result<> saved;
    {
        const FileSizeLimit full(100 * 1024);
        control->setFileName(target);
        saved = control->setCommand("save");
    }
    QCOMPARE(saved.reason(), QStringLiteral(u"磁盘已满"));
    QCOMPARE(saved.kind(), Failure::NoSpace);
    QCOMPARE(fileBytes(target), old);
    QVERIFY(strays({"target.wav", "big.wav"}).isEmpty());
}

void tst_WaveFiles::save_overTheOpenFile_keepsItReadable()
{
    const QString file = path("take.wav");
    QVERIFY(WavFixture::write(file,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_24,
                                                 48000,
                                                 2,
                                                 20000)));
    const WavFixture::Samples reference = WavFixture::read(file);

    auto control = makeControl();
    control->setFileName(file);
    control->setCommand("open");
    QCOMPARE(control->setCommand("save").reason(), QString());
    QVERIFY(WavFixture::read(file).ints == reference.ints);

    // the open waveform still reads the file it opened, now replaced on disk
    control->setFileName(path("copy.wav"));
    QCOMPARE(control->setCommand("save").reason(), QString());
    QVERIFY(WavFixture::read(path("copy.wav")).ints == reference.ints);
    QVERIFY(strays({"take.wav", "copy.wav"}).isEmpty());
}

void tst_WaveFiles::save_writesRf64_pastFourGiB()
{
    if (!qEnvironmentVariableIsSet("TAPEWREN_LONG_TESTS"))
        QSKIP("writes more than 4 GiB: run with TAPEWREN_LONG_TESTS=1");
    // a sparse Wave64 source of silence, 16-bit stereo, just past what RIFF can describe
    const quint64 dataBytes = 0x100000000ULL + 4096;
    const QByteArray guidTail = QByteArray::fromHex("f3acd3118cd100c04f8edb8a");
    QByteArray header = QByteArray::fromHex("726966662e91cf11a5d628db04c10000") + le64(0) + "wave"
                        + guidTail + "fmt " + guidTail + le64(24 + 16) + le16(1) + le16(2)
                        + le32(44100) + le32(44100 * 4) + le16(4) + le16(16) + "data" + guidTail
                        + le64(24 + dataBytes);
    qToLittleEndian<quint64>(quint64(header.size()) + dataBytes, header.data() + 16);
    const QString source = path("long.w64");
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(header), header.size());
        QVERIFY(file.resize(header.size() + qint64(dataBytes)));
    }
    if (QStorageInfo(m_dir->path()).bytesAvailable() < qint64(dataBytes) + (1LL << 30))
        QSKIP("not enough free disk for a file past 4 GiB");

    auto control = makeControl();
    control->setFileName(source);
    QCOMPARE(control->setCommand("open").reason(), QString());
    control->setFileName(path("long.wav"));
    QCOMPARE(control->setCommand("save").reason(), QString());
    control->setCommand("close");

    QFile saved(path("long.wav"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.read(4), QByteArray("RF64"));
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(saved.fileName()).constData(), SFM_READ, &info);
    QVERIFY(file);
    sf_close(file);
    QCOMPARE(info.format, SF_FORMAT_RF64 | SF_FORMAT_PCM_16);
    QCOMPARE(quint64(info.frames), dataBytes / 4);
    QFile::remove(source);
    QFile::remove(path("long.wav"));
}

QTEST_GUILESS_MAIN(tst_WaveFiles)
#include "tst_wavefiles.moc"
