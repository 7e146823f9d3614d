#include "app/FrmMain.h"

#include "app/ApplicationFrame.h"
#include "app/RemoteCommands.h"
#include "app/SkinLoader.h"
#include "core/TapewrenError.h"
#include "links/Links.h"
#include "media/MediaControl.h"
#include "platform/Platform.h"
#include "recorder/RecorderController.h"
#include "recorder/StatusTexts.h"
#include "recorder/TimedStop.h"
#include "window/LevelMeter.h"
#include "window/PictureBox.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

FrmMain::FrmMain(Platform &platform,
                 MediaControl &MMCRecord,
                 WaveDevice &waveDevice,
                 QWidget *parent)
    : QWidget(parent)
    , m_platform(platform)
    , MMCRecord(MMCRecord)
{
    ui.setupUi(this);

    m_links = std::make_unique<Links>(*platform.launcher,
                                      *platform.programFolder,
                                      Links::Window{this, ui.picOrbanet, ui.picZZ});

    RecorderControls controls;
    controls.MMCRecord = &MMCRecord;
    controls.cdg = platform.cdg.get();
    controls.LblFile = ui.LblFile;
    controls.Lblread = ui.Lblread;
    controls.TimerBar = ui.TimerBar;
    controls.cmdNew = ui.cmdNew;
    controls.cmdRecord = ui.cmdRecord;
    controls.cmdPlay = ui.cmdPlay;
    controls.cmdStop = ui.cmdStop;
    controls.cmdSave = ui.cmdSave;
    controls.levelMeter = ui.levelMeter;
    controls.clipMark = ui.clipMark;
    controls.lblWarning = ui.lblWarning;
    m_recorder = std::make_unique<RecorderController>(
            controls,
            RecorderController::Services{*platform.messageBox,
                                         *platform.clock,
                                         waveDevice,
                                         *platform.sleepInhibitor,
                                         *platform.progress,
                                         *platform.freeSpace,
                                         [this] {
                                             cmdTuLing_Click();
                                         }});

    m_skinLoader = std::make_unique<SkinLoader>(Skin1, *platform.programFolder, *this);
    m_frame = std::make_unique<ApplicationFrame>(*m_recorder,
                                                 MMCRecord,
                                                 *ui.cmdStop,
                                                 ApplicationFrame::Services{*platform.instanceGuard,
                                                                            *platform.messageBox,
                                                                            *platform.programEnd,
                                                                            *m_skinLoader});
    // a timed stop ends the take as a click on 停止 does
    m_timedStop = std::make_unique<TimedStop>(ui.lblTimedStop, MMCRecord, *platform.clock, [this] {
        ui.cmdStop->click();
    });
    m_remote = std::make_unique<RemoteCommands>(RemoteCommands::Window{ui.cmdRecord,
                                                                       ui.cmdStop,
                                                                       m_recorder.get(),
                                                                       m_timedStop.get()},
                                                *platform.userInput);
    connectHandlers();
    connectTimedStopMenu();
}

FrmMain::~FrmMain() = default;

void FrmMain::connectHandlers()
{
    const auto untrapped = [this](QAbstractButton *button, void (FrmMain::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { deliver(handler); });
    };
    untrapped(ui.cmdNew, &FrmMain::cmdNew_Click);
    untrapped(ui.cmdRecord, &FrmMain::cmdRecord_Click);
    untrapped(ui.cmdStop, &FrmMain::cmdStop_Click);
    untrapped(ui.cmdPlay, &FrmMain::cmdPlay_Click);
    untrapped(ui.cmdSave, &FrmMain::cmdSave_Click);
    untrapped(ui.cmdOpen, &FrmMain::cmdOpen_Click);
    untrapped(ui.cmdHelp, &FrmMain::cmdHelp_Click);
    untrapped(ui.cmdExit, &FrmMain::cmdExit_Click);

    connect(ui.cmdSetRecord, &QAbstractButton::clicked, this, &FrmMain::cmdSetRecord_Click);
    connect(ui.cmdMp3Conv, &QAbstractButton::clicked, this, &FrmMain::cmdMp3Conv_Click);
    connect(ui.cmdTuLing, &QAbstractButton::clicked, this, &FrmMain::cmdTuLing_Click);
    connect(ui.cmdTV, &QAbstractButton::clicked, this, &FrmMain::cmdTV_Click);
    connect(ui.picOrbanet, &PictureBox::clicked, this, &FrmMain::picOrbanet_Click);
    connect(ui.picZZ, &PictureBox::clicked, this, &FrmMain::picZZ_Click);
    connect(ui.TimerBar, &QTimer::timeout, this, &FrmMain::TimerBar_Timer);
    connect(&MMCRecord, &MediaControl::StatusUpdate, this, &FrmMain::MMCRecord_StatusUpdate);
    connect(&MMCRecord, &MediaControl::brokeOff, this, &FrmMain::MMCRecord_BrokeOff);
}

void FrmMain::connectTimedStopMenu()
{
    for (QAction *choice : std::as_const(ui.timedStopChoices)) {
        connect(choice, &QAction::triggered, this, [this, choice] {
            // the take may have ended while the menu was open
            if (m_recorder->state() == RecorderController::State::Recording)
                m_timedStop->set(std::chrono::minutes(choice->data().toInt()));
        });
    }
    connect(ui.cancelTimedStop, &QAction::triggered, this, [this] { m_timedStop->cancel(); });
}

void FrmMain::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_recorder->state() != RecorderController::State::Recording) {
        event->ignore();
        return;
    }
    ui.cancelTimedStop->setEnabled(m_timedStop->isSet());
    ui.contextMenu->popup(event->globalPos());
}

void FrmMain::deliver(void (FrmMain::*handler)())
{
    try {
        (this->*handler)();
    } catch (const TapewrenError &error) {
        m_platform.messageBox->show(QStringLiteral("运行时错误 '%1'：\n\n%2")
                                            .arg(error.number())
                                            .arg(error.description()),
                                    MessageBox::OkOnly + MessageBox::Critical,
                                    StatusTexts::MessageTitle);
        m_platform.programEnd->end();
    }
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    qint16 Cancel = 0;
    Form_Unload(Cancel);
    if (Cancel != 0)
        event->ignore();
    else
        event->accept();
}

void FrmMain::startWith(const StartCommand &command, std::function<int()> handOver)
{
    m_remote->setStartCommand(command);
    m_frame->setHandOver(std::move(handOver));
}

void FrmMain::Form_Load()
{
    m_frame->Form_Load();
    // past the single-instance check: this is the copy that runs
    m_platform.commands->offer(*m_remote);
}

void FrmMain::Form_Unload(qint16 &Cancel)
{
    ApplicationFrame::Form_Unload(Cancel);
}

void FrmMain::cmdNew_Click()
{
    m_recorder->NewRecording();
}

void FrmMain::cmdRecord_Click()
{
    m_recorder->StartRecording();
}

void FrmMain::cmdStop_Click()
{
    m_recorder->StopRecording();
}

void FrmMain::cmdPlay_Click()
{
    m_recorder->PlayRecording();
}

void FrmMain::cmdSave_Click()
{
    m_recorder->SaveRecording();
}

void FrmMain::cmdOpen_Click()
{
    m_recorder->OpenRecording();
}

void FrmMain::cmdHelp_Click()
{
    m_links->ShowHelp();
}

void FrmMain::cmdExit_Click()
{
    m_frame->ExitApplication();
}

void FrmMain::cmdSetRecord_Click()
{
    m_links->cmdSetRecord_Click();
}

void FrmMain::cmdMp3Conv_Click()
{
    m_links->cmdMp3Conv_Click();
}

void FrmMain::cmdTuLing_Click()
{
    m_links->cmdTuLing_Click();
}

void FrmMain::cmdTV_Click()
{
    m_links->cmdTV_Click();
}

void FrmMain::picOrbanet_Click()
{
    m_links->picOrbanet_Click();
}

void FrmMain::picZZ_Click()
{
    m_links->picZZ_Click();
}

void FrmMain::TimerBar_Timer()
{
    m_recorder->TimerBar_Timer();
}

void FrmMain::MMCRecord_StatusUpdate()
{
    m_recorder->MMCRecord_StatusUpdate();
}

void FrmMain::MMCRecord_BrokeOff(const QString &reason)
{
    m_recorder->MMCRecord_BrokeOff(reason);
}

void FrmMain::OfferLeftoverTakes()
{
    m_frame->OfferLeftoverTakes();
    m_remote->startUpDone();
}

void FrmMain::Terminate()
{
    m_frame->Terminate();
}
