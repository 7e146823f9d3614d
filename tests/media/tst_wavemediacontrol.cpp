#include "FileSizeLimit.h"
#include "support/SyntheticAudioInput.h"
#include "support/SyntheticAudioOutput.h"
#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Interleaved samples as the capture path receives them.
template<typename T>
QByteArray bytesOf(const std::vector<T> &samples)
{
    return QByteArray(reinterpret_cast<const char *>(samples.data()),
                      qsizetype(samples.size() * sizeof(T)));
}

std::vector<qint16> ramp16(qint64 frames, int channels, int seed)
{
    std::vector<qint16> s;
    for (qint64 i = 0; i < frames * channels; ++i)
        s.push_back(qint16((i * 37 + seed * 1000) % 65536 - 32768));
    return s;
}

// What the integer path reads back for 16-bit samples.
std::vector<int> widened(const std::vector<qint16> &samples)
{
    std::vector<int> out;
    for (qint16 v : samples)
        out.push_back(int(v) * 65536);
    return out;
}

} // namespace

class tst_WaveMediaControl : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_control.reset(); }

    void newRecording_isEmptyAndNumbered();
    void commands_changeNothing_withoutOpenDevice_data();
    void commands_changeNothing_withoutOpenDevice();

    void record_keepsEveryCapturedSample();
    void record_continuesWherePreviousRecordingStopped();
    void record_insertsAtPosition_inOpenedFile();
    void record_intoDoubleFile_keepsFloatSamples();
    void record_changesNothing_whenInputCannotStart();
    void record_keepsCapturedAudio_whenServerIsLost();
    void record_stopsWithReason_whenDiskIsFull();
    void save_whileRecording_writesWhatWasCaptured();
    void record_fillsSoundThatNeverArrivedWithSilence();
    void record_measuresInputLevel_data();
    void record_measuresInputLevel();

    void play_drainsToTheEnd();
    void play_ends_whenTheOutputNeverSaysItRanDry();
    void play_reportsWhereItBrokeOff_whenServerIsLost();
    void play_endsWhateverTheFileDoes_data();
    void play_endsWhateverTheFileDoes();
    void prev_returnsToStart();

    void statusUpdate_isEmittedOnlyWhileOpen();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString spool() const { return m_dir->filePath("spool"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<WaveMediaControl> m_control;
    SyntheticAudioInput *m_input = nullptr;
    SyntheticAudioOutput *m_output = nullptr;
};

void tst_WaveMediaControl::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir("spool"));
    auto input = std::make_unique<SyntheticAudioInput>();
    auto output = std::make_unique<SyntheticAudioOutput>();
    m_input = input.get();
    m_output = output.get();
    m_control = std::make_unique<WaveMediaControl>(std::move(input), std::move(output));
    m_control->setSpoolFolder(spool());
}

void tst_WaveMediaControl::newRecording_isEmptyAndNumbered()
{
    QCOMPARE(m_control->DeviceID(), qint16(0));
    // nothing open: nothing happens
    QCOMPARE(m_control->setCommand("close").reason(), QString());

    m_control->setFileName("new");
    QCOMPARE(m_control->setCommand("open").reason(), QString());
    const qint16 first = m_control->DeviceID();
    QVERIFY(first > 0);
    QCOMPARE(m_control->Position(), 0);
    QCOMPARE(m_control->Length(), 0);
    QCOMPARE(m_control->DeviceType(), QStringLiteral("WaveAudio"));

    m_control->setCommand("close");
    QCOMPARE(m_control->DeviceID(), qint16(0));
    m_control->setCommand("open");
    QVERIFY(m_control->DeviceID() > 0);
    QVERIFY(m_control->DeviceID() != first);
}

void tst_WaveMediaControl::commands_changeNothing_withoutOpenDevice_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reason");
    for (const char *command : {"record", "stop", "prev", "play", "save"})
        QTest::newRow(command) << QString::fromLatin1(command)
                               << QStringLiteral(u"没有打开的声音设备");
    QTest::newRow("unknown") << QStringLiteral("eject") << QStringLiteral(u"不支持的命令：eject");
    QTest::newRow("open without name")
            << QStringLiteral("open") << QStringLiteral(u"没有指定文件名");
}

void tst_WaveMediaControl::commands_changeNothing_withoutOpenDevice()
{
    QFETCH(QString, command);
    QFETCH(QString, reason);
    QCOMPARE(m_control->setCommand(command).reason(), reason);
    QCOMPARE(m_control->DeviceID(), qint16(0));
    QVERIFY(!m_control->isRecording());
    QVERIFY(!m_input->isRunning());
    // the next command that works clears the reason
    QCOMPARE(m_control->setCommand("close").reason(), QString());
}

void tst_WaveMediaControl::record_keepsEveryCapturedSample()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    QCOMPARE(m_control->setCommand("record").reason(), QString());
    QCOMPARE(m_input->format().sampleRate(), 44100);
    QCOMPARE(m_input->format().channelCount(), 2);
    QCOMPARE(m_input->format().sampleFormat(), AudioFormat::Int16);

    const auto samples = ramp16(44100, 2, 1);
    m_input->push(bytesOf(samples), 1001); // pieces that split frames
    // what still waits for the storage thread is written by Stop
    m_control->setCommand("stop");
    QVERIFY(!m_input->isRunning());
    QCOMPARE(m_control->Position(), 1000);
    QCOMPARE(m_control->Length(), 1000);

    m_control->setFileName(path("take.wav"));
    QCOMPARE(m_control->setCommand("save").reason(), QString());
    const WavFixture::Samples saved = WavFixture::read(path("take.wav"));
    QCOMPARE(saved.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    QVERIFY(saved.ints == widened(samples));
    // the spool is itself a WAV file of the take, beside its journal
    m_control->finishWriting();
    const QStringList spooled = QDir(spool()).entryList(QDir::Files);
    QCOMPARE(spooled.size(), 2);
    QVERIFY(WavFixture::read(spool() + u'/' + spooled.first()).ints == widened(samples));
    QCOMPARE(spooled.last(), spooled.first() + QStringLiteral(".journal"));
}

void tst_WaveMediaControl::record_continuesWherePreviousRecordingStopped()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    const auto first = ramp16(1000, 2, 1);
    const auto second = ramp16(3000, 2, 2);
    m_control->setCommand("record");
    m_input->push(bytesOf(first));
    m_control->setCommand("stop");
    m_control->setCommand("record");
    m_input->push(bytesOf(second));
    m_control->setCommand("stop");
    QCOMPARE(m_control->lengthFrames(), qint64(4000));

    m_control->setFileName(path("take.wav"));
    m_control->setCommand("save");
    auto expected = widened(first);
    const auto tail = widened(second);
    expected.insert(expected.end(), tail.begin(), tail.end());
    QVERIFY(WavFixture::read(path("take.wav")).ints == expected);
}

void tst_WaveMediaControl::record_insertsAtPosition_inOpenedFile()
{
    const int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    QVERIFY(WavFixture::write(path("base.wav"), WavFixture::signal(format, 48000, 2, 10000)));
    const WavFixture::Samples base = WavFixture::read(path("base.wav"));
    m_control->setFileName(path("base.wav"));
    m_control->setCommand("open");

    // play part of it and stop there: recording goes in at that point
    m_control->setCommand("play");
    QCOMPARE(m_output->format().sampleFormat(), AudioFormat::Int32);
    m_output->pull(4321 * 8);
    m_control->setCommand("stop");
    QCOMPARE(m_control->positionFrames(), qint64(4321));

    m_control->setCommand("record");
    QCOMPARE(m_input->format().sampleRate(), 48000);
    QCOMPARE(m_input->format().sampleFormat(), AudioFormat::Int32);
    std::vector<qint32> inserted;
    for (int i = 0; i < 2 * 777; ++i)
        inserted.push_back(qint32(i * 2654435761u) & ~0xFF); // 24 significant bits
    m_input->push(bytesOf(inserted), 333);
    m_control->setCommand("stop");
    QCOMPARE(m_control->positionFrames(), qint64(4321 + 777));
    QCOMPARE(m_control->lengthFrames(), qint64(10000 + 777));

    m_control->setFileName(path("edited.wav"));
    QCOMPARE(m_control->setCommand("save").reason(), QString());
    WavFixture::Samples expected = WavFixture::slice(base, 0, 4321);
    WavFixture::Samples middle = base;
    middle.ints.assign(inserted.begin(), inserted.end());
    WavFixture::append(expected, middle);
    WavFixture::append(expected, WavFixture::slice(base, 4321, 10000));
    const WavFixture::Samples saved = WavFixture::read(path("edited.wav"));
    QCOMPARE(saved.format, format);
    QCOMPARE(saved.frames(), expected.frames());
    QVERIFY(saved.ints == expected.ints);
}

void tst_WaveMediaControl::record_intoDoubleFile_keepsFloatSamples()
{
    const int format = SF_FORMAT_WAV | SF_FORMAT_DOUBLE;
    QVERIFY(WavFixture::write(path("base.wav"), WavFixture::signal(format, 22050, 1, 500)));
    const WavFixture::Samples base = WavFixture::read(path("base.wav"));
    m_control->setFileName(path("base.wav"));
    m_control->setCommand("open");
    m_control->setCommand("play");
    while (m_output->isRunning())
        m_output->pull(4000);
    QVERIFY(!m_control->isPlaying());
    QCOMPARE(m_control->Position(), m_control->Length());

    m_control->setCommand("record");
    QCOMPARE(m_input->format().sampleFormat(), AudioFormat::Float);
    const std::vector<float> pushed = {0.5f, -0.25f, 0.125f, 1.0f / 3.0f, -0.999f};
    m_input->push(bytesOf(pushed), 3);
    m_control->setCommand("stop");
    m_control->setFileName(path("take.wav"));
    m_control->setCommand("save");

    std::vector<double> expected = base.doubles;
    expected.insert(expected.end(), pushed.begin(), pushed.end());
    QVERIFY(WavFixture::read(path("take.wav")).doubles == expected);
}

void tst_WaveMediaControl::record_changesNothing_whenInputCannotStart()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_input->failNextStart(QStringLiteral(u"没有可用的录音设备"));
    QCOMPARE(m_control->setCommand("record").reason(), QStringLiteral(u"没有可用的录音设备"));
    QVERIFY(!m_control->isRecording());
    QCOMPARE(m_control->Length(), 0);
    QCOMPARE(m_control->setCommand("record").reason(), QString());
    QVERIFY(m_control->isRecording());
}

void tst_WaveMediaControl::record_keepsCapturedAudio_whenServerIsLost()
{
    const QString lost = QStringLiteral(u"与声音服务器的连接中断，录音已停止");
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_control->setCommand("record");
    QSignalSpy brokeOff(m_control.get(), &MediaControl::brokeOff);
    m_input->push(bytesOf(ramp16(2205, 2, 3)));
    m_input->breakOff(lost);
    QVERIFY(!m_control->isRecording());
    QCOMPARE(brokeOff, QList<QVariantList>{{lost}});
    QCOMPARE(m_control->lengthFrames(), qint64(2205));
    QCOMPARE(m_control->positionFrames(), qint64(2205));

    // the window's Stop finds nothing left to stop and hears why
    QCOMPARE(m_control->setCommand("stop").reason(), lost);
    QCOMPARE(m_control->setCommand("prev").reason(), QString());
    QCOMPARE(m_control->lengthFrames(), qint64(2205));
}

void tst_WaveMediaControl::record_stopsWithReason_whenDiskIsFull()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_control->setCommand("record");
    QSignalSpy brokeOff(m_control.get(), &MediaControl::brokeOff);
    const auto samples = ramp16(44100, 2, 4);
    // a quarter of a second in one piece reaches the disk itself: the first write is flushed at once
    const qint64 kept = 11025;
    m_input->push(bytesOf(samples).left(kept * 4), kept * 4);
    m_control->waitForStorage();
    QCOMPARE(m_control->lengthFrames(), kept);
    {
        const FileSizeLimit full(64 * 1024);
        m_input->push(bytesOf(samples).mid(kept * 4));
        m_control->waitForStorage();
        QTRY_VERIFY(!m_control->isRecording());
    }
    QCOMPARE(brokeOff, QList<QVariantList>{{QStringLiteral(u"磁盘已满")}});
    // what was written past the last flush is not counted on: the take is what the disk holds
    QCOMPARE(m_control->lengthFrames(), kept);

    m_control->setFileName(path("take.wav"));
    QCOMPARE(m_control->setCommand("save").reason(), QString());
    std::vector<qint16> prefix(samples.begin(), samples.begin() + kept * 2);
    QVERIFY(WavFixture::read(path("take.wav")).ints == widened(prefix));
}

void tst_WaveMediaControl::save_whileRecording_writesWhatWasCaptured()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_control->setCommand("record");
    const auto first = ramp16(22050, 2, 5);
    m_input->push(bytesOf(first));
    m_control->waitForStorage();
    QCOMPARE(m_control->lengthFrames(), qint64(22050));
    m_control->setFileName(path("partial.wav"));
    QCOMPARE(m_control->setCommand("save").reason(), QString());
    QVERIFY(m_control->isRecording());
    m_input->push(bytesOf(ramp16(100, 2, 6)));
    m_control->setCommand("stop");

    QVERIFY(WavFixture::read(path("partial.wav")).ints == widened(first));
    QCOMPARE(m_control->lengthFrames(), qint64(22150));
}

void tst_WaveMediaControl::record_fillsSoundThatNeverArrivedWithSilence()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_control->setCommand("record");
    QSignalSpy lost(m_control.get(), &MediaControl::SoundLost);
    const auto before = ramp16(22050, 2, 7);
    const auto after = ramp16(22050, 2, 8);
    m_input->push(bytesOf(before), 1001);
    m_input->lose(22050);
    m_input->push(bytesOf(after), 1001);
    m_control->setCommand("stop");

    // the take lasts as long as it ran, and says how much of it is silence in place of sound
    QCOMPARE(m_control->Length(), 1500);
    QTRY_COMPARE(lost, QList<QVariantList>{{qint64(500)}});
    m_control->setFileName(path("take.wav"));
    QCOMPARE(m_control->setCommand("save").reason(), QString());
    auto expected = widened(before);
    expected.resize(expected.size() + 44100, 0);
    const auto tail = widened(after);
    expected.insert(expected.end(), tail.begin(), tail.end());
    QVERIFY(WavFixture::read(path("take.wav")).ints == expected);
}

void tst_WaveMediaControl::record_measuresInputLevel_data()
{
    QTest::addColumn<double>("amplitude"); // of a 1 kHz sine, 1 is full scale
    QTest::addColumn<double>("peakDb");
    QTest::addColumn<bool>("clipped");
    QTest::newRow("-6 dBFS") << 0.5 << -6.02 << false;
    QTest::newRow("-40 dBFS") << 0.01 << -40.0 << false;
    QTest::newRow("full scale") << 1.0 << 0.0 << true;
    QTest::newRow("digital silence") << 0.0 << -200.0 << false;
}

void tst_WaveMediaControl::record_measuresInputLevel()
{
    QFETCH(double, amplitude);
    QFETCH(double, peakDb);
    QFETCH(bool, clipped);
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_control->setCommand("record");
    QSignalSpy levels(m_control.get(), &MediaControl::InputLevel);
    std::vector<qint16> samples;
    for (int i = 0; i < 44100; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * 1000 * i / 44100.0);
        const auto sample = qint16(std::clamp(std::lround(v * 32768), -32768L, 32767L));
        samples.push_back(sample);
        samples.push_back(sample);
    }
    // a tenth of a second at a time, as the server hands it over, in pieces that split frames
    const QByteArray sound = bytesOf(samples);
    for (qsizetype at = 0; at < sound.size(); at += 4410 * 4) {
        m_input->push(sound.mid(at, 4410 * 4), 1001);
        QTest::qWait(150);
    }

    // a reading ten times a second, of the sound that came meanwhile
    QCOMPARE(levels.size(), 10);
    for (const QVariantList &reading : std::as_const(levels)) {
        QVERIFY2(std::abs(reading.at(0).toDouble() - peakDb) < 0.1,
                 qPrintable(QString::number(reading.at(0).toDouble())));
        QCOMPARE(reading.at(1).toBool(), clipped);
    }
}

void tst_WaveMediaControl::play_drainsToTheEnd()
{
    const int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    QVERIFY(WavFixture::write(path("tone.wav"), WavFixture::signal(format, 44100, 2, 44100)));
    m_control->setFileName(path("tone.wav"));
    m_control->setCommand("open");
    QCOMPARE(m_control->setCommand("play").reason(), QString());
    QVERIFY(m_control->isPlaying());
    while (m_output->isRunning()) {
        m_output->pull(17640);
        QVERIFY(m_control->Position() <= m_control->Length());
    }
    QVERIFY(!m_control->isPlaying());
    QCOMPARE(m_control->Position(), m_control->Length());
    QCOMPARE(m_control->Length(), 1000);

    std::vector<qint16> heard(std::size_t(m_output->played().size() / 2));
    std::memcpy(heard.data(), m_output->played().constData(), heard.size() * 2);
    QVERIFY(widened(heard) == WavFixture::read(path("tone.wav")).ints);

    // at the end there is nothing to play: play succeeds and Position stays at Length
    QCOMPARE(m_control->setCommand("play").reason(), QString());
    QCOMPARE(m_control->Position(), m_control->Length());
}

void tst_WaveMediaControl::play_ends_whenTheOutputNeverSaysItRanDry()
{
    const int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    QVERIFY(WavFixture::write(path("short.wav"), WavFixture::signal(format, 44100, 2, 8820)));
    m_control->setFileName(path("short.wav"));
    m_control->setCommand("open");
    QCOMPARE(m_control->setCommand("play").reason(), QString());
    m_output->pull(8820 * 4); // everything, without asking again and finding nothing
    QTRY_VERIFY_WITH_TIMEOUT(!m_control->isPlaying(), 2000);
    QCOMPARE(m_control->Position(), m_control->Length());
}

void tst_WaveMediaControl::play_reportsWhereItBrokeOff_whenServerIsLost()
{
    const QString lost = QStringLiteral(u"与声音服务器的连接中断，播放已停止");
    QVERIFY(WavFixture::write(path("tone.wav"),
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 8000)));
    m_control->setFileName(path("tone.wav"));
    m_control->setCommand("open");
    m_control->setCommand("play");
    QSignalSpy brokeOff(m_control.get(), &MediaControl::brokeOff);
    m_output->pull(2000 * 2);
    m_output->breakOff(lost);
    QVERIFY(!m_control->isPlaying());
    QCOMPARE(brokeOff, QList<QVariantList>{{lost}});
    QCOMPARE(m_control->positionFrames(), qint64(2000));
    QCOMPARE(m_control->Length(), 1000);
}

void tst_WaveMediaControl::play_endsWhateverTheFileDoes_data()
{
    QTest::addColumn<qint64>("newBytes"); // the file's size once another program changed it
    QTest::addColumn<QString>("reason");  // empty: played to the length it had when opened
    const qint64 threeSeconds = 44 + 3 * 44100 * 4;
    QTest::newRow("cut short behind the playback") << qint64(44 + 44100) << u"声音文件被截短了"_s;
    QTest::newRow("cut short ahead of the playback")
            << qint64(44 + 2 * 44100 * 4) << u"声音文件被截短了"_s;
    QTest::newRow("emptied") << qint64(0) << u"声音文件被截短了"_s;
    QTest::newRow("grown") << threeSeconds + 44100 * 4 << QString();
}

void tst_WaveMediaControl::play_endsWhateverTheFileDoes()
{
    QFETCH(qint64, newBytes);
    QFETCH(QString, reason);
    const QString file = path("three.wav");
    QVERIFY(WavFixture::write(file,
                              WavFixture::signal(SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                                 44100,
                                                 2,
                                                 3 * 44100)));
    m_control->setFileName(file);
    m_control->setCommand("open");
    QCOMPARE(m_control->setCommand("play").reason(), QString());
    QSignalSpy brokeOff(m_control.get(), &MediaControl::brokeOff);
    m_output->pull(44100 * 4); // a second heard
    QVERIFY(::truncate(QFile::encodeName(file).constData(), newBytes) == 0);
    for (int pull = 0; pull < 10 && m_output->isRunning(); ++pull)
        m_output->pull(44100 * 4);

    QVERIFY(!m_control->isPlaying());
    if (reason.isEmpty()) {
        QCOMPARE(brokeOff.count(), 0);
        QCOMPARE(m_control->Length(), 3000);
        QCOMPARE(m_output->played().size(), qsizetype(3 * 44100 * 4));
    } else {
        QCOMPARE(brokeOff, QList<QVariantList>{{reason}});
        QCOMPARE(m_control->setCommand("stop").reason(), reason);
    }
}

void tst_WaveMediaControl::prev_returnsToStart()
{
    m_control->setFileName("new");
    m_control->setCommand("open");
    m_control->setCommand("record");
    m_input->push(bytesOf(ramp16(4410, 2, 7)));
    m_control->setCommand("prev");
    QVERIFY(!m_control->isRecording());
    QCOMPARE(m_control->Position(), 0);
    QCOMPARE(m_control->Length(), 100);
}

void tst_WaveMediaControl::statusUpdate_isEmittedOnlyWhileOpen()
{
    QCOMPARE(m_control->UpdateInterval(), 1000);
    QSignalSpy updates(m_control.get(), &MediaControl::StatusUpdate);
    m_control->setFileName("new");
    m_control->setCommand("open");
    QVERIFY(updates.wait(5000));
    m_control->setCommand("close");
    updates.clear();
    QTest::qWait(1500);
    QCOMPARE(updates.count(), 0);
}

QTEST_GUILESS_MAIN(tst_WaveMediaControl)
#include "tst_wavemediacontrol.moc"
