#include "support/WavFixture.h"

#include "media/WaveMediaControl.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// One figure from sox's stat report, e.g. "Length (seconds)" or "Rough   frequency".
double soxStat(const QStringList &arguments, const QString &name)
{
    QProcess sox;
    sox.start("sox", arguments);
    if (!sox.waitForFinished(20000))
        return -1;
    const QString report = QString::fromLocal8Bit(sox.readAllStandardError());
    const QRegularExpression line(QRegularExpression::escape(name) + R"(:\s*(-?[0-9.]+))");
    const QRegularExpressionMatch match = line.match(report);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

struct Tone
{
    double seconds = 0;   // from the first to the last 10 ms stretch that carries sound
    double frequency = 0; // from the zero crossings inside that span
};

// Finds the tone in raw 16-bit stereo at 44.1 kHz, left channel.
Tone findTone(const QByteArray &raw)
{
    std::vector<qint16> left(std::size_t(raw.size() / 4));
    for (std::size_t i = 0; i < left.size(); ++i)
        std::memcpy(&left[i], raw.constData() + i * 4, 2);
    const std::size_t window = 441;
    qint64 first = -1;
    qint64 last = -1;
    for (std::size_t w = 0; w + window <= left.size(); w += window) {
        double sum = 0;
        for (std::size_t i = w; i < w + window; ++i)
            sum += double(left[i]) * left[i];
        if (std::sqrt(sum / window) > 0.05 * 32768) {
            if (first < 0)
                first = qint64(w);
            last = qint64(w + window);
        }
    }
    Tone tone;
    if (first < 0)
        return tone;
    tone.seconds = double(last - first) / 44100;
    int crossings = 0;
    for (qint64 i = first + 1; i < last; ++i) {
        if ((left[std::size_t(i - 1)] < 0) != (left[std::size_t(i)] < 0))
            ++crossings;
    }
    tone.frequency = crossings / 2.0 / tone.seconds;
    return tone;
}

// Seconds of raw 16-bit stereo at 44.1 kHz, left channel, that carry a tone near 1 kHz: 5 ms
// stretches with sound and at least 8 zero crossings (a 440 Hz tone makes about 4).
double markerSeconds(const QByteArray &raw)
{
    const qsizetype frames = raw.size() / 4;
    const qsizetype window = 220;
    int marked = 0;
    for (qsizetype w = 0; w + window <= frames; w += window) {
        double sum = 0;
        int crossings = 0;
        qint16 previous = 0;
        for (qsizetype i = w; i < w + window; ++i) {
            qint16 sample;
            std::memcpy(&sample, raw.constData() + i * 4, 2);
            sum += double(sample) * sample;
            if (i > w && (previous < 0) != (sample < 0))
                ++crossings;
            previous = sample;
        }
        if (std::sqrt(sum / window) > 0.05 * 32768 && crossings >= 8)
            ++marked;
    }
    return marked * double(window) / 44100;
}

// Records what the test server's output plays, from before start() until stop().
class OutputListener
{
public:
    bool start()
    {
        m_parec.start("parec",
                      {"-d",
                       "out.monitor",
                       "--raw",
                       "--format=s16le",
                       "--rate=44100",
                       "--channels=2",
                       "--latency-msec=20"});
        if (!m_parec.waitForStarted())
            return false;
        QTest::qWait(500);
        return true;
    }
    QByteArray stop()
    {
        QTest::qWait(1000);
        m_parec.terminate();
        m_parec.waitForFinished(5000);
        return m_parec.readAllStandardOutput();
    }

private:
    QProcess m_parec;
};

} // namespace

// Records from and plays to the test sound server, whose default input carries a steady
// 440 Hz tone and whose default output is a null sink "out".
class tst_RealAudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void record_twoSeconds_savesTheTone();
    void record_keepsEverythingFromCommandToStop();
    void record_goesOnWhileTheWindowIsStalled();
    void play_letsTheWholeRecordingOut_data();
    void play_letsTheWholeRecordingOut();
    void play_endsOnlyOnceTheLastFrameIsHeard();

private:
    bool recordTwoSeconds(const QString &path);
    QTemporaryDir m_dir;
};

void tst_RealAudio::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("TAPEWREN_TEST_PULSE"))
        QSKIP("needs the test sound server (scripts/with-test-env.sh)");
    QVERIFY(m_dir.isValid());
    // the server's test input takes a moment to carry sound after the server came up
    WaveMediaControl control;
    control.setFileName("new");
    control.setCommand("open");
    QCOMPARE(control.setCommand("record").reason(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(control.lengthFrames() > 4410, 15000);
}

bool tst_RealAudio::recordTwoSeconds(const QString &path)
{
    WaveMediaControl control;
    control.setFileName("new");
    control.setCommand("open");
    if (const Result<> recording = control.setCommand("record"); !recording.ok()) {
        qWarning() << recording.reason();
        return false;
    }
    QTest::qWait(2000);
    control.setCommand("stop");
    control.setFileName(path);
    return control.setCommand("save").reason().isEmpty();
}

void tst_RealAudio::record_twoSeconds_savesTheTone()
{
    const QString file = m_dir.filePath("take.wav");
    QVERIFY(recordTwoSeconds(file));
    const double seconds = soxStat({file, "-n", "stat"}, "Length (seconds)");
    QVERIFY2(std::abs(seconds - 2.0) <= 0.1, qPrintable(QString::number(seconds)));
    const double frequency = soxStat({file, "-n", "remix", "1", "stat"}, "Rough   frequency");
    QVERIFY2(std::abs(frequency - 440) <= 10, qPrintable(QString::number(frequency)));
}

void tst_RealAudio::record_keepsEverythingFromCommandToStop()
{
    // a fresh control is a fresh program: its first take counts as much as the later ones
    WaveMediaControl control;
    control.setFileName("new");
    control.setCommand("open");
    for (int take = 0; take < 4; ++take) {
        const qint64 before = control.lengthFrames();
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(control.setCommand("record").reason(), QString());
        QTest::qWait(300 + 170 * take);
        const double askedMs = double(elapsed.nsecsElapsed()) / 1e6;
        control.setCommand("stop");
        const double heldMs = double(control.lengthFrames() - before) / 44.1;
        // the server hands sound over in blocks: the last one may reach a little past Stop
        QVERIFY2(heldMs >= askedMs - 15 && heldMs <= askedMs + 40,
                 qPrintable(QStringLiteral("take %1 held %2 ms of %3 ms")
                                    .arg(take)
                                    .arg(heldMs)
                                    .arg(askedMs)));
    }
}

void tst_RealAudio::record_goesOnWhileTheWindowIsStalled()
{
    WaveMediaControl control;
    control.setFileName("new");
    control.setCommand("open");
    QSignalSpy lost(&control, &MediaControl::SoundLost);
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(control.setCommand("record").reason(), QString());
    QTest::qWait(500);
    // The window's thread does nothing at all for longer than the server keeps a record
    // stream's sound (about 24 s of this format): a capture that lived on it would lose sound.
    std::this_thread::sleep_for(std::chrono::seconds(26));
    QTest::qWait(500);
    const double ranSeconds = double(elapsed.nsecsElapsed()) / 1e9;
    control.setCommand("stop");

    QCOMPARE(lost.count(), 0);
    const double heldSeconds = double(control.lengthFrames()) / 44100;
    QVERIFY2(std::abs(heldSeconds - ranSeconds) <= 0.1,
             qPrintable(QStringLiteral("held %1 s of %2 s").arg(heldSeconds).arg(ranSeconds)));
    // and every 10 ms of it carries the tone: no gap, no silence in place of sound
    const QString file = m_dir.filePath("stalled.wav");
    control.setFileName(file);
    QCOMPARE(control.setCommand("save").reason(), QString());
    const WavFixture::Samples take = WavFixture::read(file);
    const qint64 window = 441;
    int silent = 0;
    // the server's first moment may be silence of its own; from the first sound on, none
    qint64 first = 0;
    while (first < take.frames() && std::abs(take.ints[std::size_t(first * 2)]) < (1 << 28))
        ++first;
    for (qint64 w = first; w + window <= take.frames(); w += window) {
        double sum = 0;
        for (qint64 i = w; i < w + window; ++i)
            sum += std::pow(double(take.ints[std::size_t(i * 2)]) / 65536, 2);
        if (std::sqrt(sum / window) < 0.05 * 32768)
            ++silent;
    }
    QCOMPARE(silent, 0);
}

void tst_RealAudio::play_letsTheWholeRecordingOut_data()
{
    QTest::addColumn<double>("toneSeconds"); // 0: a take recorded from the test input
    QTest::newRow("recorded take, within the server's buffer") << 0.0;
    QTest::newRow("file longer than the server's buffer") << 5.0;
}

void tst_RealAudio::play_letsTheWholeRecordingOut()
{
    QFETCH(double, toneSeconds);
    const QString file = m_dir.filePath("take.wav");
    if (toneSeconds > 0) {
        QStringList tone = QStringLiteral("-n -r 44100 -c 2 -b 16").split(u' ');
        tone << file;
        tone += QStringLiteral("synth %1 sine 440 vol 0.5").arg(toneSeconds).split(u' ');
        QCOMPARE(QProcess::execute("sox", tone), 0);
    } else {
        QVERIFY(recordTwoSeconds(file));
    }
    const double recorded = soxStat({file, "-n", "stat"}, "Length (seconds)");
    OutputListener listener;
    QVERIFY(listener.start());

    WaveMediaControl control;
    control.setFileName(file);
    control.setCommand("open");
    control.setCommand("prev");
    QSignalSpy brokeOff(&control, &MediaControl::brokeOff);
    QCOMPARE(control.setCommand("play").reason(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!control.isPlaying(), 10000);
    QCOMPARE(brokeOff.count(), 0);
    QCOMPARE(control.Position(), control.Length());

    const Tone tone = findTone(listener.stop());
    QVERIFY2(std::abs(tone.seconds - recorded) <= 0.1,
             qPrintable(QStringLiteral("heard %1 s of %2 s").arg(tone.seconds).arg(recorded)));
    QVERIFY2(std::abs(tone.frequency - 440) <= 10, qPrintable(QString::number(tone.frequency)));
}

void tst_RealAudio::play_endsOnlyOnceTheLastFrameIsHeard()
{
    // a second of 440 Hz, then a 100 ms marker at 1 kHz that ends the file
    const QString body = m_dir.filePath("body.wav");
    const QString marker = m_dir.filePath("marker.wav");
    const QString file = m_dir.filePath("marked.wav");
    const QStringList format = QStringLiteral("-n -r 44100 -c 2 -b 16").split(u' ');
    QCOMPARE(QProcess::execute("sox", format + QStringList{body, "synth", "1", "sine", "440"}), 0);
    QCOMPARE(QProcess::execute("sox", format + QStringList{marker, "synth", "0.1", "sine", "1000"}),
             0);
    QCOMPARE(QProcess::execute("sox", {body, marker, file}), 0);
    OutputListener listener;
    QVERIFY(listener.start());

    WaveMediaControl control;
    control.setFileName(file);
    control.setCommand("open");
    QCOMPARE(control.setCommand("play").reason(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!control.isPlaying(), 10000);

    // the stream is gone once the playback says it ended: all of the marker was played by then
    const double heard = markerSeconds(listener.stop());
    QVERIFY2(heard >= 0.09 && heard <= 0.11, qPrintable(QString::number(heard)));
}

QTEST_GUILESS_MAIN(tst_RealAudio)
#include "tst_realaudio.moc"
