#include "window/FrmMainUi.h"

#include "core/Twips.h"
#include "links/LinkAddresses.h"
#include "window/BuiltInImages.h"
#include "window/LevelMeter.h"
#include "window/PanelLabel.h"
#include "window/PictureBox.h"

#include <QBitmap>
#include <QCursor>
#include <QGroupBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr int clientWidth = 5580; // twips
constexpr int clientHeight = 2580;
constexpr auto timerInterval = 200;  // ms
constexpr QPoint handHotSpot(12, 9); // the fingertip

template<typename Control>
Control *newControl(QWidget *container, const QString &name, const QRect &geometry)
{
    auto *control = new Control(container);
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

QPushButton *newButton(QWidget *container,
                       const QString &name,
                       const QRect &geometry,
                       const QString &caption)
{
    auto *button = newControl<QPushButton>(container, name, geometry);
    button->setText(caption);
    return button;
}

template<typename Label = QLabel>
Label *newLabel(QWidget *container,
                const QString &name,
                const QRect &geometry,
                const QString &caption)
{
    auto *label = newControl<Label>(container, name, geometry);
    label->setText(caption);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    // No background of its own: the panel's white shows through.
    label->setAutoFillBackground(false);
    return label;
}

// Qt's standard key where the platform has one, otherwise the key the desktops give it.
QKeySequence standardKey(QKeySequence::StandardKey key, const QKeySequence &otherwise)
{
    const QList<QKeySequence> bound = QKeySequence::keyBindings(key);
    return bound.isEmpty() ? otherwise : bound.constFirst();
}

QCursor handPointer(const BuiltInImages &images)
{
    // Black bitmap pixels draw black; white mask pixels let the screen through.
    const QBitmap shape = QBitmap::fromImage(images.hand);
    const QBitmap mask = QBitmap::fromImage(images.handMask);
    return QCursor(shape, mask, handHotSpot.x(), handHotSpot.y());
}

// A clickable picture: hand pointer, and its tool tip read out as its name.
void makeClickable(PictureBox *picture, const QString &toolTip, const QCursor &pointer)
{
    picture->setToolTip(toolTip);
    picture->setAccessibleName(toolTip);
    picture->setCursor(pointer);
}

} // namespace

void FrmMainUi::setupUi(QWidget *frmMain)
{
    Q_INIT_RESOURCE(images);
    std::future<BuiltInImages> decoding = BuiltInImages::decodeAhead();

    frmMain->setObjectName(u"frmMain"_s);
    frmMain->setWindowTitle(u"Tapewren 音频录音机 V2.1"_s);
    frmMain->setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));
    if (const QScreen *screen = frmMain->screen()) {
        QRect placed = frmMain->geometry();
        placed.moveCenter(screen->availableGeometry().center());
        frmMain->move(placed.topLeft());
    }

    cmdMp3Conv = newButton(frmMain,
                           u"cmdMp3Conv"_s,
                           Twips::rect(180, 2160, 1995, 330),
                           u"OrbaMP3转换向导"_s);
    cmdMp3Conv->setToolTip(u"将录音格式转为MP3，请下载使用免费的转换工具“OrbaMP3转换向导”"_s);

    Frame1 = newControl<QGroupBox>(frmMain, u"Frame1"_s, Twips::rect(45, 0, 5460, 2085));
    Frame1->setTitle(QString());

    cmdSetRecord = newButton(Frame1,
                             u"cmdSetRecord"_s,
                             Twips::rect(4455, 1665, 915, 330),
                             u"录音源"_s);
    cmdSetRecord->setToolTip(u"选择录音源(暂不支持Vista系统)"_s);

    picInfo = newControl<PictureBox>(Frame1, u"picInfo"_s, Twips::rect(90, 180, 5280, 1005));
    // The clock's line: a new text each second repaints the label alone, and relays nothing out.
    LblFile = newLabel<PanelLabel>(picInfo,
                                   u"LblFile"_s,
                                   Twips::rect(90, 450, 4800, 480),
                                   u"文件："_s);
    LblFile->setFixedSize(LblFile->size());
    Lblread = newLabel(picInfo, u"Lblread"_s, Twips::rect(90, 135, 4815, 255), u"当前状态："_s);

    cmdSave = newButton(Frame1, u"cmdSave"_s, Twips::rect(4455, 1260, 915, 330), u"保存"_s);
    cmdRecord = newButton(Frame1, u"cmdRecord"_s, Twips::rect(1215, 1260, 915, 330), u"录音"_s);
    cmdStop = newButton(Frame1, u"cmdStop"_s, Twips::rect(3375, 1260, 915, 330), u"停止"_s);
    cmdPlay = newButton(Frame1, u"cmdPlay"_s, Twips::rect(2295, 1260, 915, 330), u"播放"_s);
    cmdNew = newButton(Frame1, u"cmdNew"_s, Twips::rect(135, 1260, 915, 330), u"新建"_s);
    cmdOpen = newButton(Frame1, u"cmdOpen"_s, Twips::rect(135, 1665, 915, 330), u"打开"_s);
    cmdHelp = newButton(Frame1, u"cmdHelp"_s, Twips::rect(1215, 1665, 915, 330), u"帮助"_s);

    const BuiltInImages images = decoding.get();
    frmMain->setWindowIcon(QIcon(QPixmap::fromImage(images.icon)));
    const QCursor hand = handPointer(images);

    picZZ = newControl<PictureBox>(frmMain, u"picZZ"_s, Twips::rect(4050, 2205, 270, 270));
    picZZ->setPicture(QPixmap::fromImage(images.expander));
    makeClickable(picZZ, u"界面转换 -更多..."_s, hand);

    cmdExit = newButton(frmMain, u"cmdExit"_s, Twips::rect(4500, 2160, 960, 330), u"退出"_s);

    // The lower band lies below the collapsed client area until picZZ enlarges the window.
    cmdTV = newButton(frmMain, u"cmdTV"_s, Twips::rect(3780, 3285, 1680, 465), u"影视直播"_s);
    cmdTuLing = newButton(frmMain,
                          u"cmdTuLing"_s,
                          Twips::rect(3780, 2700, 1680, 465),
                          u"热辣图铃"_s);
    picOrbanet = newControl<PictureBox>(frmMain,
                                        u"picOrbanet"_s,
                                        Twips::rect(90, 2655, 3615, 1140));
    picOrbanet->setPicture(QPixmap::fromImage(images.banner));
    makeClickable(picOrbanet, u"访问Orba影视网首页："_s + LinkAddresses::homePage, hand);

    TimerBar = new QTimer(frmMain);
    TimerBar->setObjectName(u"TimerBar"_s);
    TimerBar->setInterval(timerInterval);

    MMCRecord = newControl<QWidget>(frmMain, u"MMCRecord"_s, Twips::rect(6165, 990, 3150, 330));
    MMCRecord->setFocusPolicy(Qt::NoFocus);

    setupLevelDisplay();
    setupTimedStop(frmMain);
    setupKeys();
    chainTabOrder();
}

void FrmMainUi::setupLevelDisplay()
{
    // The clock's text ("录音时间：M分S秒") ends well before the middle of its line.
    levelMeter = newControl<LevelMeter>(picInfo,
                                        u"levelMeter"_s,
                                        Twips::rect(2640, 510, 2190, 150));
    levelMeter->setAccessibleName(u"输入电平"_s);
    levelMeter->hide();

    clipMark = newControl<QLabel>(picInfo, u"clipMark"_s, Twips::rect(4890, 480, 240, 210));
    clipMark->setAccessibleName(u"削波"_s);
    clipMark->setStyleSheet(u"QLabel#clipMark { background: #D93025; }"_s);
    clipMark->hide();

    lblWarning = newLabel(picInfo, u"lblWarning"_s, Twips::rect(2640, 450, 2550, 270), QString());
    lblWarning->setStyleSheet(u"QLabel#lblWarning { color: #D93025; }"_s);
    lblWarning->hide();
}

void FrmMainUi::setupTimedStop(QWidget *frmMain)
{
    // The clock's line holds one line of text while recording; this is the line below it.
    lblTimedStop = newLabel(picInfo, u"lblTimedStop"_s, Twips::rect(90, 705, 4800, 240), QString());
    lblTimedStop->hide();

    contextMenu = new QMenu(frmMain);
    contextMenu->setObjectName(u"contextMenu"_s);
    QMenu *timedStop = contextMenu->addMenu(u"定时停止"_s);
    const std::array<std::pair<QString, int>, 4> choices{
            {{u"15 分钟"_s, 15}, {u"30 分钟"_s, 30}, {u"1 小时"_s, 60}, {u"2 小时"_s, 120}}};
    for (const auto &[caption, minutes] : choices) {
        QAction *choice = timedStop->addAction(caption);
        choice->setData(minutes);
        timedStopChoices << choice;
    }
    timedStop->addSeparator();
    cancelTimedStop = timedStop->addAction(u"取消定时"_s);
}

void FrmMainUi::setupKeys()
{
    // A button's own key acts as a click on it, and only while the button is enabled.
    cmdNew->setShortcut(standardKey(QKeySequence::New, Qt::CTRL | Qt::Key_N));
    cmdRecord->setShortcut(Qt::CTRL | Qt::Key_R);
    cmdPlay->setShortcut(Qt::CTRL | Qt::Key_P);
    cmdStop->setShortcut(standardKey(QKeySequence::Cancel, Qt::Key_Escape));
    cmdSave->setShortcut(standardKey(QKeySequence::Save, Qt::CTRL | Qt::Key_S));
    cmdOpen->setShortcut(standardKey(QKeySequence::Open, Qt::CTRL | Qt::Key_O));
    cmdHelp->setShortcut(standardKey(QKeySequence::HelpContents, Qt::Key_F1));
    cmdExit->setShortcut(standardKey(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q));
}

void FrmMainUi::chainTabOrder()
{
    // Ascending TabIndex; the lower band comes first even while it is out of sight.
    const std::array<QWidget *, 19> order{MMCRecord,
                                          cmdTuLing,
                                          picOrbanet,
                                          cmdTV,
                                          cmdExit,
                                          picZZ,
                                          Frame1,
                                          cmdHelp,
                                          cmdOpen,
                                          cmdNew,
                                          cmdPlay,
                                          cmdStop,
                                          cmdRecord,
                                          cmdSave,
                                          picInfo,
                                          Lblread,
                                          LblFile,
                                          cmdMp3Conv,
                                          cmdSetRecord};
    // setTabOrder skips widgets that take no focus. Lend them tab focus while the chain is built so
    // it holds every control; Tab passes them by again once their own policy is back.
    std::array<Qt::FocusPolicy, order.size()> policies{};
    for (std::size_t i = 0; i < order.size(); ++i) {
        policies[i] = order[i]->focusPolicy();
        if (policies[i] == Qt::NoFocus)
            order[i]->setFocusPolicy(Qt::TabFocus);
    }
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i]->setFocusPolicy(policies[i]);
}
