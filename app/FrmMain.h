#pragma once

#include "app/CommandLine.h"
#include "app/Skin.h"
#include "window/FrmMainUi.h"

#include <QWidget>

#include <functional>
#include <memory>

class ApplicationFrame;
class Links;
class MediaControl;
class RecorderController;
class RemoteCommands;
class SkinLoader;
class TimedStop;
class WaveDevice;
struct Platform;

// The main window frmMain with its event handlers: the composition of the controls, the
// recorder procedures, the links and the start-up and exit frame. Handlers are connected from
// its creation; the recorder and exit buttons' handlers hold one statement each, the call of
// their procedure. An error that leaves one of those handlers is reported with its number and
// description, and then the program ends.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    FrmMain(Platform &platform,
            MediaControl &MMCRecord,
            WaveDevice &waveDevice,
            QWidget *parent = nullptr);
    ~FrmMain() override;

    const FrmMainUi &controls() const { return ui; }
    RecorderController &recorder() { return *m_recorder; }
    const Skin &skin() const { return Skin1; }

    // Started with a command: carried out once start-up is done, or, when another copy runs,
    // handed to it by handOver, which gives the status this copy then ends with.
    void startWith(const StartCommand &command, std::function<int()> handOver);

    void Form_Load();
    void Form_Unload(qint16 &Cancel);
    void cmdNew_Click();
    void cmdRecord_Click();
    void cmdStop_Click();
    void cmdPlay_Click();
    void cmdSave_Click();
    void cmdOpen_Click();
    void cmdHelp_Click();
    void cmdExit_Click();
    void cmdSetRecord_Click();
    void cmdMp3Conv_Click();
    void cmdTuLing_Click(); // opens the maker's ringtones page; also the last step of a save
    void cmdTV_Click();
    void picOrbanet_Click();
    void picZZ_Click(); // the expander: grows the window once
    void TimerBar_Timer();
    void MMCRecord_StatusUpdate();                  // the media control's once-a-second report
    void MMCRecord_BrokeOff(const QString &reason); // recording or playback ended by itself

    // Once the window shows: the recordings earlier runs left unsaved. Start-up ends with it:
    // commands from other processes are taken from then on, and the program's own is run.
    void OfferLeftoverTakes();
    // SIGTERM or SIGHUP: the take goes on disk, then the program ends.
    void Terminate();

    // How the window delivers an event to a handler that traps nothing.
    void deliver(void (FrmMain::*handler)());

protected:
    void closeEvent(QCloseEvent *event) override;
    // While recording: the menu of the timed stop.
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void connectHandlers();
    void connectTimedStopMenu();

    FrmMainUi ui;
    Platform &m_platform;
    MediaControl &MMCRecord;
    Skin Skin1;
    std::unique_ptr<Links> m_links;
    std::unique_ptr<RecorderController> m_recorder;
    std::unique_ptr<SkinLoader> m_skinLoader;
    std::unique_ptr<ApplicationFrame> m_frame;
    std::unique_ptr<TimedStop> m_timedStop;
    std::unique_ptr<RemoteCommands> m_remote; // what other processes ask of this copy
};
