#pragma once

#include <QList>

class LevelMeter;
class PictureBox;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;

// The controls of the main window frmMain as they stand before any code runs: names, containers,
// positions, captions, tool tips, tab order, colours, pointers and pictures. Like a generated Ui
// class it only builds; the controls belong to the window through Qt parenting.
class FrmMainUi
{
public:
    void setupUi(QWidget *frmMain);

    QPushButton *cmdMp3Conv = nullptr;   // link to the maker's MP3 converter download
    QGroupBox *Frame1 = nullptr;         // the frame around the recorder
    QPushButton *cmdSetRecord = nullptr; // opens the mixer on its recording sources
    PictureBox *picInfo = nullptr;       // the white status panel
    QLabel *LblFile = nullptr;           // the file line; the recording time while recording
    QLabel *Lblread = nullptr;           // the status line, which also tells the recorder's state
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdRecord = nullptr;
    QPushButton *cmdStop = nullptr;
    QPushButton *cmdPlay = nullptr;
    QPushButton *cmdNew = nullptr;
    QPushButton *cmdOpen = nullptr;
    QPushButton *cmdHelp = nullptr;
    PictureBox *picZZ = nullptr; // the expander arrow: shows the lower band once
    QPushButton *cmdExit = nullptr;
    QPushButton *cmdTV = nullptr;     // lower band: link to the film/TV site
    QPushButton *cmdTuLing = nullptr; // lower band: link to the ringtones page
    PictureBox *picOrbanet = nullptr; // lower band: the maker's banner, a link to its home page
    QTimer *TimerBar = nullptr;       // ticks the recording clock while recording
    QWidget *MMCRecord = nullptr; // stands where the media control sits, right of the client area

    // In the clock's line of the status panel, right of the clock; shown only while recording.
    LevelMeter *levelMeter = nullptr;
    QLabel *clipMark = nullptr;     // held a moment after a sample reached full scale
    QLabel *lblWarning = nullptr;   // red, in the meter's place: what the user must know now
    QLabel *lblTimedStop = nullptr; // below the clock: when a timed stop ends the take

    // The right-click menu while recording: 定时停止, with its choices.
    QMenu *contextMenu = nullptr;
    QList<QAction *> timedStopChoices; // each one's data() is its minutes
    QAction *cancelTimedStop = nullptr;

private:
    void setupLevelDisplay();
    void setupTimedStop(QWidget *frmMain);
    void setupKeys();
    void chainTabOrder();
};
