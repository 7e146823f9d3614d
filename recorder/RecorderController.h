#pragma once

#include "core/Flag.h"
#include "recorder/RecorderControls.h"
#include "recorder/WaveDeviceSetup.h"

#include <QDateTime>
#include <QString>

#include <functional>

class Clock;

// The six recorder procedures behind the window's buttons, and the form-level variables they
// keep. NewRecording, StopRecording and PlayRecording let an error pass to their caller; the
// others skip a failing statement and go on with the next.
class RecorderController
{
public:
    struct Services
    {
        MessageBox &messageBox;
        Clock &clock;
        WaveDevice &waveDevice;
        // Runs the ringtones link, the last step of every save.
        std::function<void()> cmdTuLing_Click;
    };

    RecorderController(const RecorderControls &controls, Services services);

    void NewRecording();
    void StartRecording();
    void StopRecording();
    void PlayRecording();
    void SaveRecording();
    void OpenRecording();

    // The recording clock's tick and the end-of-playback watch; both skip errors.
    void TimerBar_Timer();
    void MMCRecord_StatusUpdate();

    // The form-level variables, read and written by start-up and exit as well.
    QString CurrentFileName;
    QDateTime RecordStartTime;
    Flag IsModified = FlagFalse;

private:
    void report(const QString &text);

    RecorderControls m_c;
    Services m_services;
    WaveDeviceSetup m_waveDeviceSetup;
};
