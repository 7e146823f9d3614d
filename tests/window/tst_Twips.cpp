#include "core/Twips.h"

#include <QtTest>

class tst_Twips : public QObject
{
    Q_OBJECT

private slots:
    void toPixels_roundsToTheNearestPixel_data();
    void toPixels_roundsToTheNearestPixel();
    void rect_convertsEachEdge();
};

void tst_Twips::toPixels_roundsToTheNearestPixel_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("one pixel") << 15.0 << 1;
    QTest::newRow("client width") << 5580.0 << 372;
    QTest::newRow("below half") << 7.0 << 0;
    QTest::newRow("half rounds up") << 7.5 << 1;
    QTest::newRow("expanded height") << 3834.0 << 256; // 255.6 pixels
    QTest::newRow("left of the container") << -8.0 << -1;
}

void tst_Twips::toPixels_roundsToTheNearestPixel()
{
    QFETCH(double, twips);
    QFETCH(int, pixels);
    QCOMPARE(Twips::toPixels(twips), pixels);
    if (twips == static_cast<int>(twips) && static_cast<int>(twips) % Twips::perPixel == 0)
        QCOMPARE(Twips::fromPixels(pixels), twips);
}

void tst_Twips::rect_convertsEachEdge()
{
    QCOMPARE(Twips::rect(6165, 990, 3150, 330), QRect(411, 66, 210, 22));
}

QTEST_APPLESS_MAIN(tst_Twips)
#include "tst_Twips.moc"
