#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"
#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"
#include "media/take/SpoolFile.h"
#include "media/take/SpoolHeader.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <memory>

// What a crash, a kill or a power cut leaves of a recording, and what the next start makes of it.
// A kill is played by copying the spool folder while the control still runs: the copy is what
// the disk held at that moment, with no lock on it.
namespace {

struct Control
{
    explicit Control(const QString &spoolFolder)
    {
        auto in = std::make_unique<SyntheticAudioInput>();
        auto out = std::make_unique<SyntheticAudioOutput>();
        input = in.get();
        output = out.get();
        media = std::make_unique<WaveMediaControl>(std::move(in), std::move(out));
        media->setSpoolFolder(spoolFolder);
    }

    SyntheticAudioInput *input;
    SyntheticAudioOutput *output;
    std::unique_ptr<WaveMediaControl> media;
};

// Distinct 24-bit samples held in 32 bits, as the capture path takes them for a 24-bit file.
std::vector<qint32> take24(qint64 frames, int channels)
{
    std::vector<qint32> samples;
    for (qint64 i = 0; i < frames * channels; ++i)
        samples.push_back(qint32(quint32(i + 7) * 2654435761u) & ~0xFF);
    return samples;
}

QByteArray bytesOf(const std::vector<qint32> &samples)
{
    return QByteArray(reinterpret_cast<const char *>(samples.data()),
                      qsizetype(samples.size() * sizeof(qint32)));
}

// What the disk holds in folder now, as a kill would leave it.
bool copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : QDir(from).entryList(QDir::Files)) {
        if (!QFile::copy(from + u'/' + name, to + u'/' + name))
            return false;
    }
    return true;
}

} // namespace

class tst_Recovery : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void spool_isASoundFileOfTheTake_whileRecording();
    void spool_neverLeavesASecondOut_whenSoundComesFasterThanTime();
    void recover_putsTheTakeBackIntoTheOpenedFile_data();
    void recover_putsTheTakeBackIntoTheOpenedFile();
    void recover_givesTheRecordedAudioAlone_whenTheFileChanged();
    void recover_givesTheSavedFileAndTheNewTake_afterSavingOverTheOpenedFile();
    void leftoverTakes_areNewestFirst_andEachAnswerIsKept();
    void leftoverTakes_leaveUnreadableSpoolsAlone();
    void leftoverTakes_dropSavedRecordings();
    void spool_becomesRf64_pastFourGiB();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Recovery::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_Recovery::spool_isASoundFileOfTheTake_whileRecording()
{
    Control c(path("spool"));
    c.media->setFileName("new");
    c.media->setCommand("open");
    c.media->setCommand("record");
    QByteArray sent;
    for (int part = 1; part <= 3; ++part) {
        QByteArray block(4410 * 4, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char(i * part);
        c.input->push(block, 1001);
        // the header is brought up to date at the first write after a second
        QTest::qWait(1050);
        const QByteArray frame = block.left(4);
        c.input->push(frame);
        sent += block + frame;
        c.media->waitForStorage();
        // owner-only, like the journal that says what it is made of
        const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                   | QFileDevice::ReadUser | QFileDevice::WriteUser;
        for (const QString &name : QDir(path("spool")).entryList(QDir::Files))
            QCOMPARE(QFileInfo(path("spool/" + name)).permissions(), ownerOnly);
        // no stop: a reader sees every frame so far, as sox would after a kill
        const QStringList spools = QDir(path("spool")).entryList({"take-*.wav"});
        QCOMPARE(spools.size(), 1);
        SF_INFO info{};
        SNDFILE *file = sf_open(QFile::encodeName(path("spool/" + spools.first())).constData(),
                                SFM_READ,
                                &info);
        QVERIFY(file);
        QByteArray read(sent.size(), Qt::Uninitialized);
        const sf_count_t frames = sf_readf_short(file,
                                                 reinterpret_cast<short *>(read.data()),
                                                 info.frames);
        sf_close(file);
        QCOMPARE(info.samplerate, 44100);
        QCOMPARE(info.channels, 2);
        QCOMPARE(qint64(frames), qint64(sent.size() / 4));
        QCOMPARE(read, sent);
    }
}

void tst_Recovery::spool_neverLeavesASecondOut_whenSoundComesFasterThanTime()
{
    // A server catching up hands over more than a second's sound within a second; what a kill
    // leaves must still lack less than a second.
    const WaveFormat format = WaveFormat::newRecording();
    Result<std::shared_ptr<SpoolFile>> created = SpoolFile::create(path("spool"),
                                                                   format,
                                                                   FileSystem::system());
    QVERIFY2(created.ok(), qPrintable(created.reason()));
    SpoolFile *spool = created.value().get();
    const qint64 quarter = format.sampleRate() / 4;
    const QByteArray block(quarter * format.bytesPerFrame(), '\x21');
    for (int part = 1; part <= 8; ++part) {
        QVERIFY(spool->append(block.constData(), quarter).ok());
        const QString copy = path(QStringLiteral("killed-%1.wav").arg(part));
        QVERIFY(QFile::copy(spool->path(), copy));
        SF_INFO info{};
        SNDFILE *file = sf_open(QFile::encodeName(copy).constData(), SFM_READ, &info);
        QVERIFY(file);
        sf_close(file);
        QVERIFY2(spool->frames() - info.frames < format.sampleRate(),
                 qPrintable(QStringLiteral("%1 of %2 frames after part %3")
                                    .arg(info.frames)
                                    .arg(spool->frames())
                                    .arg(part)));
    }
}

void tst_Recovery::recover_putsTheTakeBackIntoTheOpenedFile_data()
{
    QTest::addColumn<bool>("killedDuringTheTake");
    QTest::newRow("killed during the take") << true;
    QTest::newRow("killed after Stop") << false;
}

void tst_Recovery::recover_putsTheTakeBackIntoTheOpenedFile()
{
    QFETCH(bool, killedDuringTheTake);
    const int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    QVERIFY(WavFixture::write(path("base.wav"), WavFixture::signal(format, 48000, 2, 10000)));
    const WavFixture::Samples base = WavFixture::read(path("base.wav"));
    const std::vector<qint32> first = take24(500, 2);
    const std::vector<qint32> second = take24(777, 2);
    {
        Control c(path("spool"));
        c.media->setFileName(path("base.wav"));
        c.media->setCommand("open");
        // a first take at the start, then one in the middle where playback was stopped
        c.media->setCommand("record");
        c.input->push(bytesOf(first), 333);
        c.media->setCommand("play");
        c.output->pull(4321 * 8);
        c.media->setCommand("stop");
        QCOMPARE(c.media->positionFrames(), qint64(500 + 4321));
        c.media->setCommand("record");
        c.input->push(bytesOf(second), 333);
        if (!killedDuringTheTake)
            c.media->setCommand("stop");
        c.media->waitForStorage();
        QVERIFY(copyFolder(path("spool"), path("left")));
    }

    Control next(path("left"));
    const QList<LeftoverTake> takes = next.media->leftoverTakes();
    QCOMPARE(takes.size(), 1);
    QCOMPARE(takes.first().filePath, path("base.wav"));
    QVERIFY(!takes.first().fileChanged);
    QCOMPARE(takes.first().lengthMs, (10000 + 500 + 777) * 1000 / 48000);
    QVERIFY(next.media->recoverTake(takes.first().id).ok());
    next.media->keepLeftoverTakes();

    next.media->setFileName(path("recovered.wav"));
    QCOMPARE(next.media->setCommand("save").reason(), QString());
    WavFixture::Samples expected = base;
    expected.ints.assign(first.begin(), first.end());
    WavFixture::append(expected, WavFixture::slice(base, 0, 4321));
    WavFixture::Samples middle = base;
    middle.ints.assign(second.begin(), second.end());
    WavFixture::append(expected, middle);
    WavFixture::append(expected, WavFixture::slice(base, 4321, 10000));
    const WavFixture::Samples saved = WavFixture::read(path("recovered.wav"));
    QCOMPARE(saved.format, format);
    QCOMPARE(saved.frames(), expected.frames());
    QVERIFY(saved.ints == expected.ints);
}

void tst_Recovery::recover_givesTheRecordedAudioAlone_whenTheFileChanged()
{
    QVERIFY(WavFixture::write(path("base.wav"),
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_24,
                                                 48000,
                                                 2,
                                                 9000)));
    const std::vector<qint32> take = take24(600, 2);
    {
        Control c(path("spool"));
        c.media->setFileName(path("base.wav"));
        c.media->setCommand("open");
        c.media->setCommand("record");
        c.input->push(bytesOf(take));
        c.media->waitForStorage();
        QVERIFY(copyFolder(path("spool"), path("left")));
    }
    QVERIFY(WavFixture::write(path("base.wav"),
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 80)));

    Control next(path("left"));
    const QList<LeftoverTake> takes = next.media->leftoverTakes();
    QCOMPARE(takes.size(), 1);
    QVERIFY(takes.first().fileChanged);
    QCOMPARE(takes.first().lengthMs, 600 * 1000 / 48000);
    QVERIFY(next.media->recoverTake(takes.first().id).ok());
    next.media->setFileName(path("recovered.wav"));
    QCOMPARE(next.media->setCommand("save").reason(), QString());
    const WavFixture::Samples saved = WavFixture::read(path("recovered.wav"));
    QCOMPARE(saved.sampleRate, 48000);
    QVERIFY(saved.ints == std::vector<int>(take.begin(), take.end()));
}

void tst_Recovery::recover_givesTheSavedFileAndTheNewTake_afterSavingOverTheOpenedFile()
{
    const int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    QVERIFY(WavFixture::write(path("a.wav"), WavFixture::signal(format, 48000, 2, 6000)));
    const WavFixture::Samples original = WavFixture::read(path("a.wav"));
    const std::vector<qint32> first = take24(400, 2);
    const std::vector<qint32> second = take24(300, 2);
    {
        Control c(path("spool"));
        c.media->setFileName(path("a.wav"));
        c.media->setCommand("open");
        c.media->setCommand("record");
        c.input->push(bytesOf(first));
        c.media->setCommand("stop");
        c.media->setFileName(path("a.wav"));
        QCOMPARE(c.media->setCommand("save").reason(), QString());
        // the second take goes at the end, where playback leaves the position
        c.media->setCommand("play");
        while (c.output->isRunning())
            c.output->pull(8000 * 8);
        c.media->setCommand("record");
        c.input->push(bytesOf(second));
        c.media->waitForStorage();
        QVERIFY(copyFolder(path("spool"), path("left")));
    }

    Control next(path("left"));
    const QList<LeftoverTake> takes = next.media->leftoverTakes();
    QCOMPARE(takes.size(), 1);
    QVERIFY(!takes.first().fileChanged);
    QVERIFY(next.media->recoverTake(takes.first().id).ok());
    next.media->setFileName(path("recovered.wav"));
    QCOMPARE(next.media->setCommand("save").reason(), QString());

    WavFixture::Samples expected = original;
    expected.ints.assign(first.begin(), first.end());
    WavFixture::append(expected, original);
    WavFixture::Samples last = original;
    last.ints.assign(second.begin(), second.end());
    WavFixture::append(expected, last);
    const WavFixture::Samples saved = WavFixture::read(path("recovered.wav"));
    QCOMPARE(saved.frames(), qint64(400 + 6000 + 300));
    QVERIFY(saved.ints == expected.ints);
}

void tst_Recovery::leftoverTakes_areNewestFirst_andEachAnswerIsKept()
{
    for (int frames : {1000, 2000, 3000}) {
        Control c(path("spool"));
        c.media->setFileName("new");
        c.media->setCommand("open");
        c.media->setCommand("record");
        c.input->push(QByteArray(frames * 4, '\x22'));
        c.media->setCommand("stop");
        c.media->waitForStorage();
        QTest::qWait(5);
    }
    {
        Control next(path("spool"));
        QList<LeftoverTake> takes = next.media->leftoverTakes();
        QCOMPARE(takes.size(), 3);
        QCOMPARE(takes[0].lengthMs, 3000 * 1000 / 44100);
        QCOMPARE(takes[2].lengthMs, 1000 * 1000 / 44100);
        // No deletes the newest; the others are kept for a later start
        next.media->discardTake(takes[0].id);
        QVERIFY(!QFile::exists(takes[0].id));
        QVERIFY(!QFile::exists(takes[0].id + ".journal"));
        next.media->keepLeftoverTakes();
    }
    Control later(path("spool"));
    const QList<LeftoverTake> takes = later.media->leftoverTakes();
    QCOMPARE(takes.size(), 2);
    QCOMPARE(takes[0].lengthMs, 2000 * 1000 / 44100);
    // held by this run: another copy does not see them meanwhile
    Control other(path("spool"));
    QCOMPARE(other.media->leftoverTakes().size(), 0);
}

void tst_Recovery::leftoverTakes_leaveUnreadableSpoolsAlone()
{
    QDir().mkpath(path("spool"));
    const QByteArray good = SpoolHeader::make(WaveFormat::newRecording(), 0);
    const QList<QPair<QString, QByteArray>> broken = {
            {"take-empty.wav", {}},
            {"take-torn.wav", good.left(40)},
            {"take-nowhole.wav", good + "ab"},
            {"take-notwave.wav", QByteArray(200, 'x')},
    };
    for (const auto &[name, bytes] : broken) {
        QFile file(path("spool/" + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    Control next(path("spool"));
    QCOMPARE(next.media->leftoverTakes().size(), 0);
    QCOMPARE(QDir(path("spool")).entryList(QDir::Files).size(), broken.size());
}

void tst_Recovery::leftoverTakes_dropSavedRecordings()
{
    {
        Control c(path("spool"));
        c.media->setFileName("new");
        c.media->setCommand("open");
        c.media->setCommand("record");
        c.input->push(QByteArray(4410 * 4, '\x33'));
        c.media->setCommand("stop");
        c.media->setFileName(path("saved.wav"));
        QCOMPARE(c.media->setCommand("save").reason(), QString());
    }
    Control next(path("spool"));
    QCOMPARE(next.media->leftoverTakes().size(), 0);
    QCOMPARE(QDir(path("spool")).entryList(QDir::Files), QStringList());
}

void tst_Recovery::spool_becomesRf64_pastFourGiB()
{
    const WaveFormat format = WaveFormat::newRecording();
    const qint64 dataBytes = 5LL << 30;
    QCOMPARE(SpoolHeader::make(format, 1000).left(4), QByteArray("RIFF"));
    QDir().mkpath(path("spool"));
    const QString spool = path("spool/take-big.wav");
    {
        QFile file(spool);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(SpoolHeader::make(format, dataBytes));
        QVERIFY(file.resize(SpoolHeader::size + dataBytes)); // sparse: no room taken
    }
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(spool).constData(), SFM_READ, &info);
    QVERIFY(file);
    sf_close(file);
    QCOMPARE(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    QCOMPARE(qint64(info.frames), dataBytes / 4);
    const Result<std::shared_ptr<SpoolFile>> adopted = SpoolFile::adopt(spool,
                                                                        FileSystem::system());
    QVERIFY2(adopted.ok(), qPrintable(adopted.reason()));
    QCOMPARE(adopted.value()->frames(), dataBytes / 4);
}

QTEST_GUILESS_MAIN(tst_Recovery)
#include "tst_recovery.moc"
