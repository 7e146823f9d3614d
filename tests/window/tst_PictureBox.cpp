#include "window/PictureBox.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

class tst_PictureBox : public QObject
{
    Q_OBJECT

private slots:
    void clicked_onlyOnLeftReleaseInside_data();
    void clicked_onlyOnLeftReleaseInside();
    void picture_isDrawnUnscaledFromInsideTheBorder();
    void background_coversWhatLiesBeneath_data();
    void background_coversWhatLiesBeneath();
};

void tst_PictureBox::clicked_onlyOnLeftReleaseInside_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left inside") << Qt::LeftButton << QPoint(20, 10) << 1;
    QTest::newRow("left on the border") << Qt::LeftButton << QPoint(0, 0) << 1;
    QTest::newRow("left dragged off") << Qt::LeftButton << QPoint(60, 10) << 0;
    QTest::newRow("right inside") << Qt::RightButton << QPoint(20, 10) << 0;
}

void tst_PictureBox::clicked_onlyOnLeftReleaseInside()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, release);
    QFETCH(int, clicks);

    QWidget window;
    window.resize(100, 40);
    // Inside a container, as picInfo holds its labels: a click must not fall through to it.
    auto *box = new PictureBox(&window);
    box->setGeometry(0, 0, 40, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QSignalSpy spy(box, &PictureBox::clicked);
    QTest::mousePress(box, button, {}, QPoint(10, 10));
    QTest::mouseRelease(box, button, {}, release);
    QCOMPARE(spy.count(), clicks);
}

void tst_PictureBox::picture_isDrawnUnscaledFromInsideTheBorder()
{
    PictureBox box;
    box.resize(30, 20);
    QPixmap picture(40, 10); // wider than the box: cut off, never squeezed
    picture.fill(Qt::red);
    box.setPicture(picture);

    const QImage shot = box.grab().toImage();
    const QColor white = box.palette().color(QPalette::Base);
    QVERIFY(shot.pixelColor(0, 0) != Qt::red);  // border
    QVERIFY(shot.pixelColor(29, 5) != Qt::red); // right border stays
    QCOMPARE(shot.pixelColor(1, 1), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(28, 10), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(5, 11), white); // below the picture
    QCOMPARE(shot.pixelColor(28, 18), white);
}

void tst_PictureBox::background_coversWhatLiesBeneath_data()
{
    QTest::addColumn<QString>("styleSheet");
    QTest::addColumn<bool>("opaque");
    QTest::addColumn<QColor>("inside"); // the box's colour inside its border
    QTest::newRow("no skin") << QString() << true << QColor(Qt::white);
    QTest::newRow("skin with a white panel")
            << u"QWidget#window { background: #00FF00; }"
               " PictureBox { background-color: #FFFFFF; border: 1px solid #8EA9AE; }"_qs
            << true << QColor(Qt::white);
    QTest::newRow("skin with a see-through panel")
            << u"QWidget#window { background: #00FF00; } PictureBox { background: transparent; }"_qs
            << false << QColor(0, 255, 0);
}

void tst_PictureBox::background_coversWhatLiesBeneath()
{
    QFETCH(QString, styleSheet);
    QFETCH(bool, opaque);
    QFETCH(QColor, inside);

    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    window.resize(100, 60);
    auto *box = new PictureBox(&window);
    box->setGeometry(10, 10, 60, 30);
    // a line of text repaints inside the box without the window beneath it
    auto *label = new QLabel(QStringLiteral("0分1秒"), box);
    label->setGeometry(4, 4, 50, 20);
    window.setStyleSheet(styleSheet);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(box->testAttribute(Qt::WA_OpaquePaintEvent), opaque);
    const QImage shot = window.grab().toImage();
    QCOMPARE(shot.pixelColor(12, 38), inside); // inside the border, below the text
}

QTEST_MAIN(tst_PictureBox)
#include "tst_PictureBox.moc"
