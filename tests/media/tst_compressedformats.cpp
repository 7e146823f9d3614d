#include "support/FileSizeLimit.h"
#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"

#include "media/WaveMediaControl.h"
#include "media/files/WaveSaver.h"
#include "media/take/Waveform.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>

// Saving in the five formats and opening what was saved: the frames, the sound and the tags
// survive and the file plays to its end; a damaged file is refused; a save that fails or is
// cancelled leaves the old file and nothing else.
namespace {

constexpr int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int mp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

// A 440 Hz tone at half scale, interleaved.
std::vector<float> tone(int rate, int channels, qint64 frames)
{
    std::vector<float> samples(std::size_t(frames * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.5 * std::sin(2 * M_PI * 440 * double(i / channels) / rate));
    return samples;
}

// A whole file as libsndfile reads it, past the code under test.
struct Decoded
{
    SF_INFO info{};
    QString software;
    QString date;
    std::vector<float> samples;

    explicit Decoded(const QString &path)
    {
        SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
        if (!file)
            return;
        software = QString::fromUtf8(sf_get_string(file, SF_STR_SOFTWARE));
        date = QString::fromUtf8(sf_get_string(file, SF_STR_DATE));
        samples.resize(std::size_t(info.frames * info.channels));
        samples.resize(
                std::size_t(sf_readf_float(file, samples.data(), info.frames) * info.channels));
        sf_close(file);
    }
    // The first channel's frequency, from its rising zero crossings over the middle half.
    double frequency() const
    {
        const qint64 frames = qint64(samples.size()) / info.channels;
        qint64 first = -1, last = -1, crossings = 0;
        for (qint64 i = frames / 4; i < frames * 3 / 4; ++i) {
            if (samples[std::size_t(i * info.channels)] < 0
                && samples[std::size_t((i + 1) * info.channels)] >= 0) {
                first = first < 0 ? i : first;
                last = i;
                ++crossings;
            }
        }
        return crossings > 1 ? double(crossings - 1) * info.samplerate / double(last - first) : 0;
    }
    double rms() const
    {
        double sum = 0;
        for (float sample : samples)
            sum += double(sample) * sample;
        return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
    }
};

} // namespace

class tst_CompressedFormats : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void save_keepsFramesToneAndTags_andPlaysToItsEnd_data();
    void save_keepsFramesToneAndTags_andPlaysToItsEnd();
    void open_refusesADamagedFile_data();
    void open_refusesADamagedFile();
    void save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse_data();
    void save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList folder() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }
    // A recording of the tone, made as the capture makes one.
    std::unique_ptr<Waveform> recording(int rate, int channels, double seconds);
    // A file of the tone written by libsndfile (by sox from it for "sox.mp3"), then opened.
    std::unique_ptr<Waveform> opened(const QString &name, int format, int rate, int channels);

    std::unique_ptr<QTemporaryDir> m_dir;
};

std::unique_ptr<Waveform> tst_CompressedFormats::recording(int rate, int channels, double seconds)
{
    auto waveform = std::make_unique<Waveform>(WaveFormat(rate, channels, pcm16));
    waveform->setSpoolFolder(path("spool"));
    const std::vector<float> floats = tone(rate, channels, qint64(rate * seconds));
    std::vector<qint16> samples(floats.size());
    for (std::size_t i = 0; i < floats.size(); ++i)
        samples[i] = qint16(std::lround(floats[i] * 32767));
    const char *bytes = reinterpret_cast<const char *>(samples.data());
    if (!waveform->beginInsert(0).ok()
        || !waveform->appendInserted(bytes, qint64(samples.size()) / channels).ok())
        return nullptr;
    waveform->endInsert();
    return waveform;
}

std::unique_ptr<Waveform> tst_CompressedFormats::opened(const QString &name,
                                                        int format,
                                                        int rate,
                                                        int channels)
{
    const bool bySox = name == u"sox.mp3";
    SF_INFO info{0, rate, channels, bySox ? pcm16 : format, 0, 0};
    const QString written = path(bySox ? "sox.wav" : name);
    SNDFILE *file = sf_open(QFile::encodeName(written).constData(), SFM_WRITE, &info);
    const std::vector<float> samples = tone(rate, channels, rate * 2);
    if (!file || sf_writef_float(file, samples.data(), rate * 2) != rate * 2 || sf_close(file))
        return nullptr;
    if (bySox && QProcess::execute("sox", {written, "-C", "128", path(name)}) != 0)
        return nullptr; // sox's MP3 writer is libsox-fmt-mp3
    Result<std::unique_ptr<Waveform>> waveform = Waveform::open(path(name));
    return waveform.ok() ? std::move(waveform.value()) : nullptr;
}

void tst_CompressedFormats::save_keepsFramesToneAndTags_andPlaysToItsEnd_data()
{
    QTest::addColumn<QString>("source"); // "recording", or a file of sourceFormat
    QTest::addColumn<int>("sourceFormat");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("expectedFormat");
    QTest::addColumn<int>("expectedRate");

    const QString take = QStringLiteral("recording");
    const int flac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    const int vorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    const int opus = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    QTest::newRow("WAV") << take << 0 << 44100 << 2 << "讲座.wav" << pcm16 << 44100;
    QTest::newRow("FLAC") << take << 0 << 44100 << 2 << "讲座.flac" << flac16 << 44100;
    QTest::newRow("MP3") << take << 0 << 44100 << 2 << "讲座.mp3" << mp3 << 44100;
    QTest::newRow("Ogg Vorbis") << take << 0 << 44100 << 2 << "讲座.ogg" << vorbis << 44100;
    QTest::newRow("Opus, at 48 kHz") << take << 0 << 44100 << 2 << "讲座.opus" << opus << 48000;
    QTest::newRow("capitals") << take << 0 << 22050 << 1 << "A.FLAC" << flac16 << 22050;
    QTest::newRow("unknown extension") << take << 0 << 22050 << 1 << "第1.5节" << pcm16 << 22050;
    QTest::newRow("24-bit WAV as 24-bit FLAC")
            << "in.wav" << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 96000 << 1 << "out.flac"
            << (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) << 96000;
    QTest::newRow("96 kHz as MP3, at 48 kHz")
            << "in.wav" << pcm16 << 96000 << 2 << "out.mp3" << mp3 << 48000;
    QTest::newRow("MP3 as 16-bit WAV")
            << "in.mp3" << mp3 << 44100 << 2 << "out.wav" << pcm16 << 44100;
    QTest::newRow("MP3 without a length, as WAV")
            << "sox.mp3" << mp3 << 44100 << 2 << "out.wav" << pcm16 << 44100;
    QTest::newRow("Ogg Vorbis as FLAC")
            << "in.ogg" << vorbis << 48000 << 1 << "out.flac" << flac16 << 48000;
    QTest::newRow("FLAC as Opus") << "in.flac" << flac16 << 16000 << 1 << "out.opus" << opus
                                  << 48000;
}

void tst_CompressedFormats::save_keepsFramesToneAndTags_andPlaysToItsEnd()
{
    QFETCH(QString, source);
    QFETCH(int, sourceFormat);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(QString, target);
    QFETCH(int, expectedFormat);
    QFETCH(int, expectedRate);
    std::unique_ptr<Waveform> waveform = source == u"recording"
                                                 ? recording(rate, channels, 3)
                                                 : opened(source, sourceFormat, rate, channels);
    QVERIFY(waveform);
    QCOMPARE(WaveSaver::save(*waveform, path(target)).reason(), QString());
    QVERIFY(folder().filter(".tapewren-").isEmpty());

    const Decoded saved(path(target));
    QCOMPARE(saved.info.format, expectedFormat);
    QCOMPARE(saved.info.samplerate, expectedRate);
    QCOMPARE(saved.info.channels, channels);
    const qint64 frames = std::llround(double(waveform->frames()) * expectedRate / rate);
    QVERIFY2(std::abs(saved.info.frames - frames) <= 1,
             qPrintable(QString::number(saved.info.frames)));
    QCOMPARE(qint64(saved.samples.size()), saved.info.frames * channels);
    QVERIFY2(std::abs(saved.frequency() - 440) < 1, qPrintable(QString::number(saved.frequency())));
    QVERIFY2(std::abs(saved.rms() - 0.5 / M_SQRT2) < 0.03,
             qPrintable(QString::number(saved.rms())));
    if ((expectedFormat & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) {
        QVERIFY2(saved.software.startsWith(u"Tapewren"), qPrintable(saved.software));
        QCOMPARE(saved.date, waveform->recorded().toString(Qt::ISODate));
    }
    waveform->discard();

    // opened as the window opens it, and played to the end
    auto outputOwner = std::make_unique<SyntheticAudioOutput>();
    SyntheticAudioOutput &output = *outputOwner;
    WaveMediaControl control(std::make_unique<SyntheticAudioInput>(), std::move(outputOwner));
    control.setSpoolFolder(path("spool"));
    control.setFileName(path(target));
    QCOMPARE(control.setCommand("open").reason(), QString());
    QCOMPARE(control.lengthFrames(), saved.info.frames);
    QCOMPARE(control.setCommand("play").reason(), QString());
    for (int i = 0; control.isPlaying() && i < 1000; ++i)
        output.pull(1 << 16);
    QTRY_VERIFY_WITH_TIMEOUT(!control.isPlaying(), 5000);
    QCOMPARE(control.Position(), control.Length());
    QCOMPARE(qint64(output.played().size()), saved.info.frames * output.format().bytesPerFrame());
}

void tst_CompressedFormats::open_refusesADamagedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("damage");
    for (const char *name : {"a.flac", "a.mp3", "a.ogg", "a.opus"}) {
        for (const char *damage : {"cut in half", "head only", "header scrambled"})
            QTest::addRow("%s, %s", name, damage) << name << damage;
    }
}

void tst_CompressedFormats::open_refusesADamagedFile()
{
    QFETCH(QString, name);
    QFETCH(QString, damage);
    std::unique_ptr<Waveform> waveform = recording(44100, 2, 2);
    QVERIFY(waveform);
    QCOMPARE(WaveSaver::save(*waveform, path(name)).reason(), QString());
    waveform->discard();
    QFile file(path(name));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (damage == u"cut in half")
        bytes.truncate(bytes.size() / 2);
    else if (damage == u"head only")
        bytes.truncate(200);
    else
        for (qsizetype i = 4; i < 200; ++i)
            bytes[i] = char(i * 37);
    QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    file.close();

    const Result<std::unique_ptr<Waveform>> refused = Waveform::open(path(name));
    QCOMPARE(refused.kind(), Failure::BadFile);
    QVERIFY(!refused.ok() && !refused.reason().isEmpty());
}

void tst_CompressedFormats::save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cancel"); // else the disk fills up
    for (const char *name : {"old.flac", "old.mp3", "old.ogg", "old.opus"}) {
        QTest::addRow("%s, cancelled", name) << name << true;
        QTest::addRow("%s, disk full", name) << name << false;
    }
}

void tst_CompressedFormats::save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse()
{
    QFETCH(QString, name);
    QFETCH(bool, cancel);
    std::unique_ptr<Waveform> waveform = recording(48000, 2, 4);
    QVERIFY(waveform);
    const QByteArray oldBytes(3000, 'x');
    QFile old(path(name));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldBytes) == oldBytes.size());
    old.close();
    const QStringList before = folder();

    WaveSaver::Progress progress;
    progress.cancel = cancel;
    Result<> saved;
    {
        // room for the old file and a little more, not for four seconds of sound
        const FileSizeLimit fullDisk(cancel ? RLIM_INFINITY : 8000);
        saved = WaveSaver::save(*waveform, path(name), &progress);
    }
    waveform->discard();
    QCOMPARE(saved.kind(), cancel ? Failure::Cancelled : Failure::NoSpace);
    QVERIFY(!saved.ok() && !saved.reason().isEmpty());
    QCOMPARE(folder(), before);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), oldBytes);
}

QTEST_GUILESS_MAIN(tst_CompressedFormats)
#include "tst_compressedformats.moc"
