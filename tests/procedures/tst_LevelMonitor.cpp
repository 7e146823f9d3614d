#include "recorder/LevelMonitor.h"

#include <QTest>

// The level display's rules over time, with the time given.
class tst_LevelMonitor : public QObject
{
    Q_OBJECT

private slots:
    void meter_showsPeakOnTheScale_data();
    void meter_showsPeakOnTheScale();
    void clipMark_isHeldForTwoSeconds();
    void warning_comesAfterThreeSilentSeconds_andGoesWithClearSound();
};

void tst_LevelMonitor::meter_showsPeakOnTheScale_data()
{
    QTest::addColumn<double>("peakDb");
    QTest::addColumn<int>("shown");
    QTest::newRow("full scale") << 0.0 << 0;
    QTest::newRow("-6.02") << -6.02 << -6;
    QTest::newRow("-59.6") << -59.6 << -60;
    QTest::newRow("below the scale") << -75.0 << -60;
    QTest::newRow("digital silence") << -200.0 << -60;
}

void tst_LevelMonitor::meter_showsPeakOnTheScale()
{
    QFETCH(double, peakDb);
    QFETCH(int, shown);
    LevelMonitor monitor;
    monitor.start(0);
    monitor.measured(peakDb, false, 100);
    QCOMPARE(monitor.update(100).meterDb, shown);
}

void tst_LevelMonitor::clipMark_isHeldForTwoSeconds()
{
    LevelMonitor monitor;
    monitor.start(0);
    monitor.measured(0, true, 500);
    monitor.measured(-12, false, 600);
    QVERIFY(monitor.update(2499).clip);
    QVERIFY(!monitor.update(2500).clip);
    QCOMPARE(monitor.update(2500).meterDb, -12);
}

void tst_LevelMonitor::warning_comesAfterThreeSilentSeconds_andGoesWithClearSound()
{
    LevelMonitor monitor;
    monitor.start(0);
    // nothing at all arrives: silence as much as zeros are
    QVERIFY(!monitor.update(2999).noSignal);
    QVERIFY(monitor.update(3000).noSignal);

    monitor.start(10'000);
    for (qint64 t = 10'100; t < 12'900; t += 100)
        monitor.measured(-200, false, t);
    monitor.measured(-60, false, 12'900); // the bottom of the scale is still sound
    QVERIFY(!monitor.update(15'899).noSignal);
    monitor.measured(-61, false, 15'900);
    QVERIFY(monitor.update(15'900).noSignal);

    // once warned, faint sound does not end it; clear sound ends it at once
    monitor.measured(-55, false, 16'000);
    QVERIFY(monitor.update(16'000).noSignal);
    monitor.measured(-49, false, 16'100);
    const LevelMonitor::Shown shown = monitor.update(16'100);
    QVERIFY(!shown.noSignal);
    QCOMPARE(shown.meterDb, -49);
}

QTEST_GUILESS_MAIN(tst_LevelMonitor)
#include "tst_LevelMonitor.moc"
