#include "links/LinkAddresses.h"
#include "window/FrmMainUi.h"
#include "window/LevelMeter.h"
#include "window/PictureBox.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QBitmap>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The window's design-time layout in twips, as drawn up for frmMain.
struct Control
{
    const char *name;
    const char *container;
    int left, top, width, height;
    int tab;
    const char16_t *caption; // nullptr: the kind has no caption
};

constexpr Control layout[] = {
        {"cmdMp3Conv", "frmMain", 180, 2160, 1995, 330, 17, u"OrbaMP3转换向导"},
        {"Frame1", "frmMain", 45, 0, 5460, 2085, 6, u""},
        {"cmdSetRecord", "Frame1", 4455, 1665, 915, 330, 18, u"录音源"},
        {"picInfo", "Frame1", 90, 180, 5280, 1005, 14, nullptr},
        {"LblFile", "picInfo", 90, 450, 4800, 480, 16, u"文件："},
        {"Lblread", "picInfo", 90, 135, 4815, 255, 15, u"当前状态："},
        {"cmdSave", "Frame1", 4455, 1260, 915, 330, 13, u"保存"},
        {"cmdRecord", "Frame1", 1215, 1260, 915, 330, 12, u"录音"},
        {"cmdStop", "Frame1", 3375, 1260, 915, 330, 11, u"停止"},
        {"cmdPlay", "Frame1", 2295, 1260, 915, 330, 10, u"播放"},
        {"cmdNew", "Frame1", 135, 1260, 915, 330, 9, u"新建"},
        {"cmdOpen", "Frame1", 135, 1665, 915, 330, 8, u"打开"},
        {"cmdHelp", "Frame1", 1215, 1665, 915, 330, 7, u"帮助"},
        {"picZZ", "frmMain", 4050, 2205, 270, 270, 5, nullptr},
        {"cmdExit", "frmMain", 4500, 2160, 960, 330, 4, u"退出"},
        {"cmdTV", "frmMain", 3780, 3285, 1680, 465, 3, u"影视直播"},
        {"cmdTuLing", "frmMain", 3780, 2700, 1680, 465, 1, u"热辣图铃"},
        {"picOrbanet", "frmMain", 90, 2655, 3615, 1140, 2, nullptr},
        {"MMCRecord", "frmMain", 6165, 990, 3150, 330, 0, nullptr},
};

constexpr int clientWidth = 5580;
constexpr int clientHeight = 2580;
constexpr double growth = 1.1; // the expander adds 1.1 x picOrbanet's height

int pixels(int twips)
{
    return qRound(twips / 15.0);
}

QRect pixelRect(const Control &c)
{
    return QRect(pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height));
}

const Control &row(const char *name)
{
    return *std::find_if(std::begin(layout), std::end(layout), [name](const Control &c) {
        return qstrcmp(c.name, name) == 0;
    });
}

QStringList namesByTabValue()
{
    std::vector<Control> byTab(std::begin(layout), std::end(layout));
    std::sort(byTab.begin(), byTab.end(), [](const Control &a, const Control &b) {
        return a.tab < b.tab;
    });
    QStringList names;
    for (const Control &c : byTab)
        names << QString::fromLatin1(c.name);
    return names;
}

QByteArray resource(const QString &name)
{
    QFile file(u":/images/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int le16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

struct PaintCounter : QObject
{
    QMap<QObject *, int> paints;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};

} // namespace

class tst_FrmMainUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void control_standsInItsContainerAtItsPlace_data();
    void control_standsInItsContainerAtItsPlace();
    void controls_doNotOverlapTheirNeighbours();
    void window_hasCaptionIconAndFixedClientSize();
    void lowerBand_isOutOfSightUntilTheWindowGrows();
    void mediaControlPlaceholder_isNeverOnScreen();
    void timer_isIdleWithTheClockInterval();

    void toolTips_areExactlyTheFour();
    void tabOrder_followsTabIndex();
    void tabKey_visitsOnlyTheButtonsInTabIndexOrder();

    void pictureBoxes_areWhite_andLabelsShowTheirWhiteThrough();
    void pictures_showAtNaturalSizeInsideTheBorder();
    void handPointer_onlyOverClickablePictures_withHotSpotAtFingertip();
    void levelMeter_repaintsAtEveryReading_aloneOverThePanel();
    void fileLine_repaintsAloneOverAPlainPanel_lookingAsBefore_data();
    void fileLine_repaintsAloneOverAPlainPanel_lookingAsBefore();

    void accessibleName_isTheControlsText_data();
    void accessibleName_isTheControlsText();

    void gif_hasItsVersionSizeAndPalette_data();
    void gif_hasItsVersionSizeAndPalette();
    void arrow_hasOneTransparentColour();
    void icon_isOne16x16TrueColourImage();
    void handPointer_isMonochrome32x32();

private:
    QWidget m_window;
    FrmMainUi m_ui;
};

void tst_FrmMainUi::initTestCase()
{
    m_ui.setupUi(&m_window);
}

void tst_FrmMainUi::control_standsInItsContainerAtItsPlace_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("hasCaption");
    QTest::addColumn<QString>("caption");
    for (const Control &c : layout) {
        QTest::newRow(c.name) << QString::fromLatin1(c.container) << pixelRect(c)
                              << (c.caption != nullptr)
                              << (c.caption ? QString::fromUtf16(c.caption) : QString());
    }
}

void tst_FrmMainUi::control_standsInItsContainerAtItsPlace()
{
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(bool, hasCaption);
    QFETCH(QString, caption);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    auto *control = m_window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isEnabled());
    QVERIFY(control->isVisibleTo(&m_window));

    if (auto *button = qobject_cast<QAbstractButton *>(control))
        QCOMPARE(button->text(), caption);
    else if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), caption);
    else if (auto *frame = qobject_cast<QGroupBox *>(control))
        QCOMPARE(frame->title(), caption);
    else
        QVERIFY2(!hasCaption, "a control with a caption must show it");
}

void tst_FrmMainUi::controls_doNotOverlapTheirNeighbours()
{
    for (const Control &a : layout) {
        for (const Control &b : layout) {
            if (&a == &b || qstrcmp(a.container, b.container) != 0)
                continue;
            auto *wa = m_window.findChild<QWidget *>(QString::fromLatin1(a.name));
            auto *wb = m_window.findChild<QWidget *>(QString::fromLatin1(b.name));
            QVERIFY2(!wa->geometry().intersects(wb->geometry()),
                     qPrintable(u"%1 overlaps %2"_s.arg(a.name, b.name)));
        }
    }
}

void tst_FrmMainUi::window_hasCaptionIconAndFixedClientSize()
{
    QCOMPARE(m_window.windowTitle(), u"Tapewren 音频录音机 V2.1"_s);
    const QSize client(pixels(clientWidth), pixels(clientHeight));
    QCOMPARE(m_window.size(), client);
    QCOMPARE(m_window.minimumSize(), client);
    QCOMPARE(m_window.maximumSize(), client);
    QVERIFY(!m_window.windowIcon().isNull());
    QVERIFY(m_window.windowIcon().availableSizes().contains(QSize(16, 16)));
}

void tst_FrmMainUi::lowerBand_isOutOfSightUntilTheWindowGrows()
{
    const int collapsed = pixels(clientHeight);
    const int expanded = qRound((clientHeight + growth * row("picOrbanet").height) / 15.0);
    for (QWidget *control : {static_cast<QWidget *>(m_ui.picOrbanet),
                             static_cast<QWidget *>(m_ui.cmdTuLing),
                             static_cast<QWidget *>(m_ui.cmdTV)}) {
        QVERIFY2(control->y() >= collapsed, qPrintable(control->objectName()));
        QVERIFY2(control->geometry().bottom() < expanded, qPrintable(control->objectName()));
        QVERIFY(control->x() + control->width() <= m_window.width());
    }
    for (QWidget *control : {static_cast<QWidget *>(m_ui.Frame1),
                             static_cast<QWidget *>(m_ui.cmdMp3Conv),
                             static_cast<QWidget *>(m_ui.picZZ),
                             static_cast<QWidget *>(m_ui.cmdExit)}) {
        QVERIFY2(m_window.rect().contains(control->geometry()), qPrintable(control->objectName()));
    }
}

void tst_FrmMainUi::mediaControlPlaceholder_isNeverOnScreen()
{
    // The window only ever grows downwards, so clearing the width keeps it out for good.
    QVERIFY(m_ui.MMCRecord->x() >= m_window.width());
    QCOMPARE(m_ui.MMCRecord->focusPolicy(), Qt::NoFocus);
}

void tst_FrmMainUi::timer_isIdleWithTheClockInterval()
{
    QCOMPARE(m_ui.TimerBar->parent(), &m_window);
    QCOMPARE(m_ui.TimerBar->objectName(), u"TimerBar"_s);
    QCOMPARE(m_ui.TimerBar->interval(), 200);
    QVERIFY(!m_ui.TimerBar->isActive());
}

void tst_FrmMainUi::toolTips_areExactlyTheFour()
{
    QMap<QString, QString> toolTips;
    const auto widgets = m_window.findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->toolTip().isEmpty())
            toolTips.insert(w->objectName(), w->toolTip());
    }
    QVERIFY(m_window.toolTip().isEmpty());
    const QMap<QString, QString> expected{
            {u"cmdMp3Conv"_s, u"将录音格式转为MP3，请下载使用免费的转换工具“OrbaMP3转换向导”"_s},
            {u"cmdSetRecord"_s, u"选择录音源(暂不支持Vista系统)"_s},
            {u"picZZ"_s, u"界面转换 -更多..."_s},
            {u"picOrbanet"_s, u"访问Orba影视网首页："_s + LinkAddresses::homePage},
    };
    QCOMPARE(toolTips, expected);
}

void tst_FrmMainUi::tabOrder_followsTabIndex()
{
    const QStringList expected = namesByTabValue();

    // The chain is a ring through the window; one round from the lowest Tab value.
    QStringList chain;
    QWidget *w = m_window.findChild<QWidget *>(expected.first());
    do {
        if (expected.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w->objectName() != expected.first());
    QCOMPARE(chain, expected);
}

void tst_FrmMainUi::tabKey_visitsOnlyTheButtonsInTabIndexOrder()
{
    QWidget window;
    FrmMainUi ui;
    ui.setupUi(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Pictures, labels, the frame and the media control are passed by; the round comes back.
    QStringList expected;
    for (const QString &name : namesByTabValue()) {
        if (qobject_cast<QPushButton *>(window.findChild<QWidget *>(name)))
            expected << name;
    }
    expected << expected.first();

    window.findChild<QWidget *>(expected.first())->setFocus(Qt::TabFocusReason);
    QStringList visited{QApplication::focusWidget()->objectName()};
    while (visited.size() < expected.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void tst_FrmMainUi::pictureBoxes_areWhite_andLabelsShowTheirWhiteThrough()
{
    const QImage shot = m_ui.picInfo->grab().toImage();
    const QColor white = m_ui.picInfo->palette().color(QPalette::Base);
    QCOMPARE(white, m_window.palette().color(QPalette::Base));
    QVERIFY(white != m_window.palette().color(QPalette::Window));
    // Border pixel, then a point inside each label past its text.
    QVERIFY(shot.pixelColor(0, 0) != white);
    for (QLabel *label : {m_ui.Lblread, m_ui.LblFile}) {
        QVERIFY(!label->autoFillBackground());
        const QPoint blank = label->geometry().topRight() + QPoint(-2, 2);
        QCOMPARE(shot.pixelColor(blank), white);
    }
    for (PictureBox *picture : {m_ui.picInfo, m_ui.picZZ, m_ui.picOrbanet}) {
        QCOMPARE(picture->frameWidth(), 1);
        QCOMPARE(picture->frameShadow(), QFrame::Plain);
    }
}

void tst_FrmMainUi::levelMeter_repaintsAtEveryReading_aloneOverThePanel()
{
    QWidget window;
    FrmMainUi ui;
    ui.setupUi(&window);
    ui.levelMeter->show();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Counts the paint events of the meter and of what lies under it.
    PaintCounter counter;
    QCoreApplication::processEvents();
    for (QWidget *widget : std::initializer_list<QWidget *>{ui.levelMeter, ui.picInfo, ui.LblFile})
        widget->installEventFilter(&counter);

    // Each reading shows, the loud ones near the top of the scale too.
    for (int db : {-40, -20, -3, -2, -30}) {
        const int paintsBefore = counter.paints.value(ui.levelMeter);
        ui.levelMeter->setValue(db);
        QCoreApplication::processEvents();
        QVERIFY2(counter.paints.value(ui.levelMeter) > paintsBefore,
                 qPrintable(QString::number(db)));
    }
    QCOMPARE(counter.paints.value(ui.picInfo), 0);
    QCOMPARE(counter.paints.value(ui.LblFile), 0);
}

void tst_FrmMainUi::fileLine_repaintsAloneOverAPlainPanel_lookingAsBefore_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<bool>("plainPanel");
    QFile shipped(qEnvironmentVariable("TAPEWREN_SOURCE_DIR") + u"/assets/default.skn"_s);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QTest::newRow("no skin") << QString() << true;
    QTest::newRow("shipped skin") << QString::fromUtf8(shipped.readAll()) << true;
    QTest::newRow("tinted panel, labels tinted over it")
            << u"PictureBox { background: #D8E9EC; } QLabel { background: #40FF0000; }"_s << true;
    QTest::newRow("gradient panel")
            << u"PictureBox { background: qlineargradient(x2: 1, stop: 0 white, stop: 1 gray); }"_s
            << false;
}

void tst_FrmMainUi::fileLine_repaintsAloneOverAPlainPanel_lookingAsBefore()
{
    QFETCH(QString, skin);
    QFETCH(bool, plainPanel);
    // The window as built, then with a plain transparent label in the file line's place as before.
    QList<QImage> shots[2];
    for (int before : {0, 1}) {
        QWidget window;
        FrmMainUi ui;
        ui.setupUi(&window);
        QLabel *line = ui.LblFile;
        if (before) {
            ui.LblFile->hide();
            line = new QLabel(ui.picInfo);
            line->setGeometry(ui.LblFile->geometry());
            line->setAlignment(ui.LblFile->alignment());
            line->setWordWrap(true);
            line->lower();
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCoreApplication::processEvents();
        window.setStyleSheet(skin); // once shown: the label follows the panel's new look
        QCoreApplication::processEvents();
        PaintCounter counter;
        ui.picInfo->installEventFilter(&counter);
        const QRect panel(ui.picInfo->mapTo(&window, QPoint()), ui.picInfo->size());
        for (const QString &text :
             {u"录音时间：0分59秒"_s, u"录音时间：1分0秒"_s, u"文件：/u/我的 录音.wav"_s}) {
            line->setText(text);
            QCoreApplication::processEvents();
            shots[before] << window.screen()->grabWindow(window.winId()).toImage().copy(panel);
        }
        // Behind anything but one colour the panel is painted beneath, as before.
        QCOMPARE(counter.paints.value(ui.picInfo) == 0, plainPanel && !before);
    }
    QVERIFY(shots[0][0] != shots[0][1]);
    QCOMPARE(shots[0], shots[1]);
}

void tst_FrmMainUi::pictures_showAtNaturalSizeInsideTheBorder()
{
    struct Case
    {
        PictureBox *box;
        const char *file;
    };
    for (const Case &c : {Case{m_ui.picZZ, "expand.gif"}, Case{m_ui.picOrbanet, "orbanet.gif"}}) {
        const QImage picture(u":/images/"_s + QLatin1StringView(c.file));
        const QImage shot = c.box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(!picture.isNull());
        QCOMPARE(c.box->picture().size(), picture.size());
        // The box is the picture plus the border; the banner leaves one row of white below it.
        QVERIFY(c.box->width() - 2 >= picture.width());
        QVERIFY(c.box->height() - 2 >= picture.height());
        const QColor white = c.box->palette().color(QPalette::Base);
        for (const QPoint p : {QPoint(0, 0),
                               QPoint(picture.width() - 1, picture.height() - 1),
                               QPoint(picture.width() / 2, picture.height() / 2)}) {
            QColor expected = picture.pixelColor(p);
            if (expected.alpha() == 0)
                expected = white;
            QCOMPARE(shot.pixelColor(p + QPoint(1, 1)), expected);
        }
        for (int y = picture.height() + 1; y < c.box->height() - 1; ++y)
            QCOMPARE(shot.pixelColor(1, y), white);
    }
}

void tst_FrmMainUi::handPointer_onlyOverClickablePictures_withHotSpotAtFingertip()
{
    const auto widgets = m_window.findChildren<QWidget *>();
    QStringList withPointer;
    for (QWidget *w : widgets) {
        if (w->testAttribute(Qt::WA_SetCursor))
            withPointer << w->objectName();
    }
    withPointer.sort();
    QCOMPARE(withPointer, (QStringList{u"picOrbanet"_s, u"picZZ"_s}));
    QVERIFY(!m_window.testAttribute(Qt::WA_SetCursor));

    for (PictureBox *picture : {m_ui.picZZ, m_ui.picOrbanet}) {
        const QCursor pointer = picture->cursor();
        QCOMPARE(pointer.shape(), Qt::BitmapCursor);
        QCOMPARE(pointer.hotSpot(), QPoint(12, 9));
        const QImage mask = pointer.mask().toImage().convertToFormat(QImage::Format_Mono);
        QCOMPARE(mask.size(), QSize(32, 32));
        // The hot spot is on the hand and nothing of the hand lies above it.
        const auto opaque = [&mask](int x, int y) {
            return mask.pixelIndex(x, y) == 1;
        };
        QVERIFY(opaque(12, 9));
        for (int y = 0; y < 9; ++y)
            QVERIFY(!opaque(12, y));
    }
}

void tst_FrmMainUi::accessibleName_isTheControlsText_data()
{
    QTest::addColumn<QString>("expected");
    for (const Control &c : layout) {
        if (c.caption && *c.caption && qstrcmp(c.name, "Frame1") != 0)
            QTest::newRow(c.name) << QString::fromUtf16(c.caption);
    }
    QTest::newRow("picZZ") << u"界面转换 -更多..."_s;
    QTest::newRow("picOrbanet") << u"访问Orba影视网首页："_s + LinkAddresses::homePage;
}

void tst_FrmMainUi::accessibleName_isTheControlsText()
{
    QFETCH(QString, expected);
    auto *control = m_window.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
    QVERIFY(face);
    QCOMPARE(face->text(QAccessible::Name), expected);
    if (!qobject_cast<PictureBox *>(control))
        QVERIFY(control->accessibleName().isEmpty()); // a fixed name would hide later texts
}

void tst_FrmMainUi::gif_hasItsVersionSizeAndPalette_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("paletteSize");
    // Each picture fills its box less the one-pixel border (the banner one row less).
    const Control &zz = row("picZZ");
    const Control &orba = row("picOrbanet");
    QTest::newRow("arrow") << u"expand.gif"_s << "GIF89a"_ba
                           << QSize(pixels(zz.width) - 2, pixels(zz.height) - 2) << 64;
    QTest::newRow("banner") << u"orbanet.gif"_s << "GIF87a"_ba
                            << QSize(pixels(orba.width) - 2, pixels(orba.height) - 3) << 256;
}

void tst_FrmMainUi::gif_hasItsVersionSizeAndPalette()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, version);
    QFETCH(QSize, size);
    QFETCH(int, paletteSize);

    const QByteArray bytes = resource(file);
    QVERIFY(bytes.size() > 13);
    QCOMPARE(bytes.left(6), version);
    QCOMPARE(QSize(le16(bytes, 6), le16(bytes, 8)), size);
    const auto packed = static_cast<quint8>(bytes[10]);
    QVERIFY(packed & 0x80); // global colour table present
    QCOMPARE(2 << (packed & 0x07), paletteSize);

    QImageReader reader(u":/images/"_s + file);
    QCOMPARE(reader.format(), "gif"_ba);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void tst_FrmMainUi::arrow_hasOneTransparentColour()
{
    const QByteArray bytes = resource(u"expand.gif"_s);
    const int paletteEnd = 13 + 3 * 64;
    // The graphic control extension follows the palette: 21 F9 04, flags, delay, index, 00.
    QCOMPARE(bytes.mid(paletteEnd, 3), "\x21\xF9\x04"_ba);
    QVERIFY(static_cast<quint8>(bytes[paletteEnd + 3]) & 0x01);
    QCOMPARE(bytes.count("\x21\xF9"_ba), 1);

    const QImage arrow(u":/images/expand.gif"_s);
    QVERIFY(arrow.hasAlphaChannel());
    int clear = 0, solid = 0;
    for (int y = 0; y < arrow.height(); ++y) {
        for (int x = 0; x < arrow.width(); ++x)
            (qAlpha(arrow.pixel(x, y)) == 0 ? clear : solid) += 1;
    }
    QVERIFY(clear > 0);
    QVERIFY(solid > 0);

    QCOMPARE(resource(u"orbanet.gif"_s).count("\x21\xF9"_ba), 0);
}

void tst_FrmMainUi::icon_isOne16x16TrueColourImage()
{
    const QByteArray bytes = resource(u"tapewren.ico"_s);
    QVERIFY(bytes.size() > 6 + 16 + 40);
    QCOMPARE(le16(bytes, 0), 0);
    QCOMPARE(le16(bytes, 2), 1); // icon, not cursor
    QCOMPARE(le16(bytes, 4), 1); // one image
    QCOMPARE(static_cast<quint8>(bytes[6]), 16);
    QCOMPARE(static_cast<quint8>(bytes[7]), 16);
    const auto offset = qFromLittleEndian<quint32>(bytes.constData() + 6 + 12);
    QCOMPARE(le16(bytes, int(offset) + 14), 24); // bits per pixel of the image itself

    const QImage icon(u":/images/tapewren.ico"_s);
    QCOMPARE(icon.size(), QSize(16, 16));
}

void tst_FrmMainUi::handPointer_isMonochrome32x32()
{
    for (const QString &file : {u"hand.png"_s, u"hand-mask.png"_s}) {
        QImageReader reader(u":/images/"_s + file);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(32, 32));
        QCOMPARE(image.depth(), 1);
    }
}

QTEST_MAIN(tst_FrmMainUi)
#include "tst_FrmMainUi.moc"
