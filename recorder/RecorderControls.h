#pragma once

class CommonDialog;
class MediaControl;
class QAbstractButton;
class QLabel;
class QProgressBar;
class QTimer;
class QWidget;

// The window's controls the recorder procedures drive. The recorder's state is carried by these
// (the buttons' enabled values and the status line), not by a variable of its own.
struct RecorderControls
{
    MediaControl *MMCRecord = nullptr;
    CommonDialog *cdg = nullptr;
    QLabel *LblFile = nullptr;
    QLabel *Lblread = nullptr;
    QTimer *TimerBar = nullptr;
    QAbstractButton *cmdNew = nullptr;
    QAbstractButton *cmdRecord = nullptr;
    QAbstractButton *cmdPlay = nullptr;
    QAbstractButton *cmdStop = nullptr;
    QAbstractButton *cmdSave = nullptr;
    // The input's level display in the status panel, shown only while recording.
    QProgressBar *levelMeter = nullptr;
    QWidget *clipMark = nullptr;
    QLabel *lblWarning = nullptr; // in the meter's place: what the user must know while recording
};
