#include "support/FileSizeLimit.h"
#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"

#include "media/WaveMediaControl.h"
#include "media/files/WaveSaver.h"
#include "media/take/Waveform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <random>

// Saving in the five formats and opening what was saved: the frames, the sound and the tags
// survive; a damaged file is refused; a save that fails or is cancelled leaves nothing behind.
namespace {

constexpr int pcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// A 440 Hz tone at half scale with a little noise, as interleaved floats.
std::vector<float> tone(int rate, int channels, qint64 frames)
{
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> jitter(-0.002f, 0.002f);
    std::vector<float> samples(std::size_t(frames * channels));
    for (qint64 i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c)
            samples[std::size_t(i * channels + c)]
                    = float(0.5 * std::sin(2 * M_PI * 440 * double(i) / rate)) + jitter(noise);
    }
    return samples;
}

bool writeFile(
        const QString &path, int format, int rate, int channels, const std::vector<float> &samples)
{
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = sf_count_t(samples.size()) / channels;
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

struct Decoded
{
    SF_INFO info{};
    QString software;
    QString date;
    std::vector<float> samples;
};

Decoded decode(const QString &path)
{
    Decoded decoded;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &decoded.info);
    if (!file)
        return decoded;
    decoded.software = QString::fromUtf8(sf_get_string(file, SF_STR_SOFTWARE));
    decoded.date = QString::fromUtf8(sf_get_string(file, SF_STR_DATE));
    decoded.samples.resize(std::size_t(decoded.info.frames * decoded.info.channels));
    decoded.samples.resize(
            std::size_t(sf_readf_float(file, decoded.samples.data(), decoded.info.frames)
                        * decoded.info.channels));
    sf_close(file);
    return decoded;
}

// The first channel's frequency, from its rising zero crossings over the middle half.
double frequency(const Decoded &decoded)
{
    const int channels = decoded.info.channels;
    const qint64 frames = qint64(decoded.samples.size()) / channels;
    qint64 first = -1;
    qint64 last = -1;
    int crossings = 0;
    for (qint64 i = frames / 4 + 1; i < frames * 3 / 4; ++i) {
        if (decoded.samples[std::size_t((i - 1) * channels)] < 0
            && decoded.samples[std::size_t(i * channels)] >= 0) {
            if (first < 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    return crossings > 1 ? double(crossings - 1) * decoded.info.samplerate / double(last - first)
                         : 0;
}

double rms(const Decoded &decoded)
{
    double sum = 0;
    for (float sample : decoded.samples)
        sum += double(sample) * sample;
    return decoded.samples.empty() ? 0 : std::sqrt(sum / double(decoded.samples.size()));
}

} // namespace

class tst_CompressedFormats : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup();
    void save_keepsFramesToneAndTags_data();
    void save_keepsFramesToneAndTags();
    void open_refusesADamagedFile_data();
    void open_refusesADamagedFile();
    void save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse_data();
    void save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse();
    void openedFile_playsToItsEnd_data();
    void openedFile_playsToItsEnd();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // A recording of seconds of the tone, made as the capture makes one.
    std::unique_ptr<Waveform> recording(int rate, int channels, double seconds);
    std::unique_ptr<Waveform> opened(const QString &name, int format, int rate, int channels);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<Waveform>> m_waveforms;
};

void tst_CompressedFormats::cleanup()
{
    for (const auto &waveform : m_waveforms)
        waveform->discard();
    m_waveforms.clear();
}

std::unique_ptr<Waveform> tst_CompressedFormats::recording(int rate, int channels, double seconds)
{
    auto waveform = std::make_unique<Waveform>(WaveFormat(rate, channels, pcm16));
    waveform->setSpoolFolder(path("spool"));
    const qint64 frames = qint64(rate * seconds);
    const std::vector<float> floats = tone(rate, channels, frames);
    std::vector<qint16> samples(floats.size());
    for (std::size_t i = 0; i < floats.size(); ++i)
        samples[i] = qint16(std::lround(floats[i] * 32767));
    if (!waveform->beginInsert(0).ok()
        || !waveform->appendInserted(reinterpret_cast<const char *>(samples.data()), frames).ok())
        return nullptr;
    waveform->endInsert();
    return waveform;
}

std::unique_ptr<Waveform> tst_CompressedFormats::opened(const QString &name,
                                                        int format,
                                                        int rate,
                                                        int channels)
{
    if (!writeFile(path(name), format, rate, channels, tone(rate, channels, rate * 2)))
        return nullptr;
    Result<std::unique_ptr<Waveform>> file = Waveform::open(path(name));
    if (!file.ok())
        return nullptr;
    file.value()->setSpoolFolder(path("spool"));
    return std::move(file.value());
}

void tst_CompressedFormats::save_keepsFramesToneAndTags_data()
{
    QTest::addColumn<QString>("source"); // "recording", or a file of the given format
    QTest::addColumn<int>("sourceFormat");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("expectedFormat");
    QTest::addColumn<int>("expectedRate");

    const QString recording = QStringLiteral("recording");
    QTest::newRow("recording as WAV")
            << recording << pcm16 << 44100 << 2 << "讲座.wav" << pcm16 << 44100;
    QTest::newRow("recording as FLAC") << recording << pcm16 << 44100 << 2 << "讲座.flac"
                                       << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 44100;
    QTest::newRow("recording as MP3") << recording << pcm16 << 44100 << 2 << "讲座.mp3"
                                      << (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III) << 44100;
    QTest::newRow("recording as Ogg Vorbis") << recording << pcm16 << 44100 << 2 << "讲座.ogg"
                                             << (SF_FORMAT_OGG | SF_FORMAT_VORBIS) << 44100;
    QTest::newRow("recording as Opus, at 48 kHz") << recording << pcm16 << 44100 << 2 << "讲座.opus"
                                                  << (SF_FORMAT_OGG | SF_FORMAT_OPUS) << 48000;
    QTest::newRow("extension in capitals") << recording << pcm16 << 22050 << 1 << "A.FLAC"
                                           << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 22050;
    QTest::newRow("unknown extension is WAV")
            << recording << pcm16 << 22050 << 1 << "第1.5节" << pcm16 << 22050;
    QTest::newRow("24-bit WAV as FLAC, 24-bit")
            << "in.wav" << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 96000 << 1 << "out.flac"
            << (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) << 96000;
    QTest::newRow("96 kHz as MP3, at 48 kHz")
            << "in.wav" << pcm16 << 96000 << 2 << "out.mp3"
            << (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III) << 48000;
    QTest::newRow("MP3 as WAV, 16-bit") << "in.mp3" << (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)
                                        << 44100 << 2 << "out.wav" << pcm16 << 44100;
    QTest::newRow("Ogg Vorbis as FLAC")
            << "in.ogg" << (SF_FORMAT_OGG | SF_FORMAT_VORBIS) << 48000 << 1 << "out.flac"
            << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 48000;
    QTest::newRow("FLAC as Opus") << "in.flac" << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 16000 << 1
                                  << "out.opus" << (SF_FORMAT_OGG | SF_FORMAT_OPUS) << 48000;
}

void tst_CompressedFormats::save_keepsFramesToneAndTags()
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
    const QString saved = path(target);
    QCOMPARE(WaveSaver::save(*waveform, saved).reason(), QString());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).filter(".tapewren-"),
             QStringList());

    // what the file is, as libsndfile reads it, and what Tapewren opens of it
    const Decoded decoded = decode(saved);
    QCOMPARE(decoded.info.format, expectedFormat);
    QCOMPARE(decoded.info.samplerate, expectedRate);
    QCOMPARE(decoded.info.channels, channels);
    const qint64 frames = qint64(std::llround(double(waveform->frames()) * expectedRate / rate));
    QVERIFY2(std::abs(decoded.info.frames - frames) <= 1,
             qPrintable(QStringLiteral("%1 frames, not %2").arg(decoded.info.frames).arg(frames)));
    QCOMPARE(qint64(decoded.samples.size()), decoded.info.frames * channels);
    Result<std::unique_ptr<Waveform>> reopened = Waveform::open(saved);
    QVERIFY2(reopened.ok(), qPrintable(reopened.reason()));
    QCOMPARE(reopened.value()->frames(), decoded.info.frames);

    QVERIFY2(std::abs(frequency(decoded) - 440) < 2,
             qPrintable(QString::number(frequency(decoded))));
    QVERIFY2(std::abs(rms(decoded) - 0.5 / std::sqrt(2)) < 0.03,
             qPrintable(QString::number(rms(decoded))));
    if ((expectedFormat & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) {
        QVERIFY2(decoded.software.startsWith(u"Tapewren"), qPrintable(decoded.software));
        QCOMPARE(decoded.date, waveform->recorded().toString(Qt::ISODate));
    }
}

void tst_CompressedFormats::open_refusesADamagedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("damage");
    for (const char *name : {"a.flac", "a.mp3", "a.ogg", "a.opus"}) {
        for (const char *damage : {"cut in half", "head only", "header scrambled"})
            QTest::addRow("%s, %s", name, damage)
                    << QString::fromLatin1(name) << QString::fromLatin1(damage);
    }
}

void tst_CompressedFormats::open_refusesADamagedFile()
{
    QFETCH(QString, name);
    QFETCH(QString, damage);
    std::unique_ptr<Waveform> waveform = recording(44100, 2, 2);
    QVERIFY(waveform);
    QCOMPARE(WaveSaver::save(*waveform, path(name)).reason(), QString());
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
    QVERIFY(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size());
    file.close();

    const Result<std::unique_ptr<Waveform>> refused = Waveform::open(path(name));
    QVERIFY(!refused.ok());
    QCOMPARE(refused.kind(), Failure::BadFile);
    QVERIFY(!refused.reason().isEmpty());
}

void tst_CompressedFormats::save_thatFailsOrIsCancelled_leavesTheOldFileAndNothingElse_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cancel"); // else the disk fills up
    for (const char *name : {"old.flac", "old.mp3", "old.ogg", "old.opus"}) {
        QTest::addRow("%s, cancelled", name) << QString::fromLatin1(name) << true;
        QTest::addRow("%s, disk full", name) << QString::fromLatin1(name) << false;
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
    const QStringList before = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);

    WaveSaver::Progress progress;
    progress.cancel = cancel;
    Result<> saved;
    {
        // room for the old file and a little, not for four seconds of sound
        const FileSizeLimit fullDisk(cancel ? RLIM_INFINITY : 8000);
        saved = WaveSaver::save(*waveform, path(name), &progress);
    }
    QVERIFY(!saved.ok());
    QCOMPARE(saved.kind(), cancel ? Failure::Cancelled : Failure::NoSpace);
    QVERIFY(!saved.reason().isEmpty());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), before);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), oldBytes);
}

void tst_CompressedFormats::openedFile_playsToItsEnd_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("bySox"); // a constant-bitrate MP3 whose length is only estimated
    for (const char *name : {"a.flac", "a.mp3", "a.ogg", "a.opus"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
    QTest::newRow("MP3 without a length") << "sox.mp3" << true;
}

void tst_CompressedFormats::openedFile_playsToItsEnd()
{
    QFETCH(QString, name);
    QFETCH(bool, bySox);
    std::unique_ptr<Waveform> waveform = recording(44100, 2, 3);
    QVERIFY(waveform);
    if (bySox) {
        QCOMPARE(WaveSaver::save(*waveform, path("in.wav")).reason(), QString());
        QProcess sox;
        sox.start(QStringLiteral("sox"), {path("in.wav"), "-C", "128", path(name)});
        QVERIFY2(sox.waitForFinished(30000) && sox.exitCode() == 0,
                 "sox with its MP3 writer (libsox-fmt-mp3) is needed");
    } else {
        QCOMPARE(WaveSaver::save(*waveform, path(name)).reason(), QString());
    }

    auto outputOwner = std::make_unique<SyntheticAudioOutput>();
    SyntheticAudioOutput &output = *outputOwner;
    WaveMediaControl control(std::make_unique<SyntheticAudioInput>(), std::move(outputOwner));
    control.setSpoolFolder(path("spool"));
    control.setFileName(path(name));
    QCOMPARE(control.setCommand("open").reason(), QString());
    QVERIFY(control.lengthFrames() > 44100 * 2);
    QCOMPARE(control.setCommand("play").reason(), QString());
    for (int i = 0; control.isPlaying() && i < 1000; ++i)
        output.pull(1 << 16);
    QTRY_VERIFY_WITH_TIMEOUT(!control.isPlaying(), 5000);
    QCOMPARE(control.positionFrames(), control.lengthFrames());
    QCOMPARE(qint64(output.played().size()),
             control.lengthFrames() * output.format().bytesPerFrame());
}

QTEST_GUILESS_MAIN(tst_CompressedFormats)
#include "tst_compressedformats.moc"
