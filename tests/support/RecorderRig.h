#pragma once

#include "FakeMediaControl.h"
#include "FakePlatform.h"
#include "recorder/RecorderController.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

// The recorder procedures over real labels, buttons and timer, with fakes for the media control
// and the platform. Starts in the ready state with the window's design-time captions.
struct RecorderRig
{
    RecorderRig();

    // "N R P S V", as buttonStates() gives it.
    QString buttons() const;
    void setButtons(const QString &pattern);

    FakePlatform fakes;
    FakeMediaControl media;
    QWidget window;
    QLabel *LblFile;
    QLabel *Lblread;
    QTimer *TimerBar;
    QPushButton *cmdNew;
    QPushButton *cmdRecord;
    QPushButton *cmdPlay;
    QPushButton *cmdStop;
    QPushButton *cmdSave;
    QProgressBar *levelMeter;
    QLabel *clipMark;
    QLabel *lblWarning;
    int tuLingClicks = 0;
    RecorderController recorder;

private:
    QList<QPushButton *> recorderButtons() const;
};
