#include "media/server/LossDetector.h"

#include <QRandomGenerator>
#include <QTest>

// A record stream as the server delivers it, fed to the detector: pieces that arrive late by a
// varying amount, a sound card whose clock runs slow, and a reader that stalls for longer than
// the server's queue holds.
namespace {

constexpr int rate = 44100;
constexpr qint64 ms = 1'000'000; // nanoseconds

struct Stream
{
    qint64 pieceMs = 100;
    double clock = 1.0;      // the sound card's speed against the system's
    qint64 stallAtMs = -1;   // the reader stops reading here...
    qint64 stallMs = 0;      // ...for this long
    qint64 queueMs = 24'000; // what the server keeps meanwhile; the rest is lost
    qint64 lengthMs = 60'000;
};

struct Outcome
{
    qint64 filled = 0; // frames of silence the detector asked for
    int times = 0;     // how often it asked
};

Outcome run(const Stream &stream, qint64 stretchMs)
{
    LossDetector detector(rate, stretchMs);
    QRandomGenerator random(7);
    Outcome outcome;
    qint64 received = 0;
    const qint64 lost = stream.stallMs > stream.queueMs ? stream.stallMs - stream.queueMs : 0;
    for (qint64 t = stream.pieceMs; t <= stream.lengthMs; t += stream.pieceMs) {
        const bool stalled = stream.stallAtMs >= 0 && t >= stream.stallAtMs
                             && t < stream.stallAtMs + stream.stallMs;
        if (stalled)
            continue;
        // all the sound captured up to now that the server still holds, a little late
        qint64 captured = qint64(double(t) * rate / 1000 * stream.clock);
        if (stream.stallAtMs >= 0 && t >= stream.stallAtMs + stream.stallMs)
            captured -= lost * rate / 1000;
        const qint64 lateNs = 20 * ms + qint64(random.bounded(30)) * ms;
        received = std::max(received, captured);
        const qint64 missing = detector.received(t * ms + lateNs, received + outcome.filled);
        if (missing > 0) {
            outcome.filled += missing;
            ++outcome.times;
        }
    }
    return outcome;
}

} // namespace

Q_DECLARE_METATYPE(Stream)

class tst_LossDetector : public QObject
{
    Q_OBJECT

private slots:
    void findsOnlySoundThatNeverArrived_data();
    void findsOnlySoundThatNeverArrived();
};

void tst_LossDetector::findsOnlySoundThatNeverArrived_data()
{
    QTest::addColumn<Stream>("stream");
    QTest::addColumn<qint64>("stretchMs");
    QTest::addColumn<qint64>("lostMs");

    QTest::newRow("tenths, late by up to 50 ms") << Stream{} << qint64(1000) << qint64(0);
    QTest::newRow("a sound card 0.5 % slow for ten minutes")
            << Stream{100, 0.995, -1, 0, 24'000, 600'000} << qint64(1000) << qint64(0);
    QTest::newRow("a sound card 0.5 % fast")
            << Stream{100, 1.005, -1, 0, 24'000, 120'000} << qint64(1000) << qint64(0);
    QTest::newRow("a stall within the server's queue")
            << Stream{100, 1.0, 10'000, 20'000} << qint64(1000) << qint64(0);
    QTest::newRow("a stall past the server's queue")
            << Stream{100, 1.0, 10'000, 26'000} << qint64(1000) << qint64(2000);
    QTest::newRow("a stall past the queue, a card 500 ppm slow")
            << Stream{100, 0.9995, 10'000, 26'500} << qint64(1000) << qint64(2500);
    QTest::newRow("seconds while nobody looks, a stall")
            << Stream{1000, 1.0, 10'000, 27'000} << qint64(2500) << qint64(3000);
}

void tst_LossDetector::findsOnlySoundThatNeverArrived()
{
    QFETCH(Stream, stream);
    QFETCH(qint64, stretchMs);
    QFETCH(qint64, lostMs);
    const Outcome outcome = run(stream, stretchMs);
    const qint64 filledMs = outcome.filled * 1000 / rate;
    QVERIFY2(std::abs(filledMs - lostMs) <= 60,
             qPrintable(QStringLiteral("filled %1 ms of %2").arg(filledMs).arg(lostMs)));
    QCOMPARE(outcome.times, lostMs > 0 ? 1 : 0);
}

QTEST_APPLESS_MAIN(tst_LossDetector)
#include "tst_lossdetector.moc"
