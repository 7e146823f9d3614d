#pragma once

class PictureBox;
class QGroupBox;
class QLabel;
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

    QPushButton *cmdMp3Conv = nullptr;
    QGroupBox *Frame1 = nullptr;
    QPushButton *cmdSetRecord = nullptr;
    PictureBox *picInfo = nullptr;
    QLabel *LblFile = nullptr;
    QLabel *Lblread = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdRecord = nullptr;
    QPushButton *cmdStop = nullptr;
    QPushButton *cmdPlay = nullptr;
    QPushButton *cmdNew = nullptr;
    QPushButton *cmdOpen = nullptr;
    QPushButton *cmdHelp = nullptr;
    PictureBox *picZZ = nullptr;
    QPushButton *cmdExit = nullptr;
    QPushButton *cmdTV = nullptr;
    QPushButton *cmdTuLing = nullptr;
    PictureBox *picOrbanet = nullptr;
    QTimer *TimerBar = nullptr;
    QWidget *MMCRecord = nullptr; // stands where the media control sits, right of the client area

private:
    void chainTabOrder();
};
