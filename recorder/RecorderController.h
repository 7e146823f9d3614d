#pragma once

#include "core/Flag.h"
#include "core/Result.h"
#include "recorder/RecorderControls.h"
#include "recorder/RecordingWatch.h"
#include "recorder/SpaceWatch.h"
#include "recorder/WaveDeviceSetup.h"

#include <QDateTime>
#include <QString>

#include <functional>

class Clock;
class FreeSpace;
class ProgressDialog;
class SleepInhibitor;
struct LeftoverTake;

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
        SleepInhibitor &sleepInhibitor;
        ProgressDialog &progress;
        FreeSpace &freeSpace; // of the disk a take is spooled to
        // Runs the ringtones link, the last step of every save.
        std::function<void()> cmdTuLing_Click;
    };

    // The three states, as the buttons and the status line carry them.
    enum class State { Ready, Recording, Playing };

    RecorderController(const RecorderControls &controls, Services services);

    State state() const;

    void NewRecording();
    void StartRecording();
    void StopRecording();
    void PlayRecording();
    void SaveRecording();
    void OpenRecording();

    // The recording clock's tick and the end-of-playback watch; both skip errors.
    void TimerBar_Timer();
    void MMCRecord_StatusUpdate();
    // A recording or playback that ended by itself (disk full, sound server or device gone):
    // back to the ready state, and a box says what happened and what was kept. Skips errors.
    void MMCRecord_BrokeOff(const QString &reason);

    // A recording an earlier run left unsaved, now the open one: unsaved, ready to play and
    // save. Skips errors.
    void RecordingRecovered(const LeftoverTake &take);

    // The form-level variables, read and written by start-up and exit as well.
    QString CurrentFileName;
    QDateTime RecordStartTime;
    Flag IsModified = FlagFalse;

private:
    void report(const QString &text);
    // The "save" command, with its progress shown and its Cancel heard.
    Result<> saveWithProgress();
    // The ready state's status line and buttons, each statement skipped on its own.
    void showReady();

    RecorderControls m_c;
    Services m_services;
    qint64 m_recordStartSecs = 0; // RecordStartTime since the epoch
    qint64 m_clockSeconds = 0;    // the elapsed time m_clockText shows
    QString m_clockText;
    WaveDeviceSetup m_waveDeviceSetup;
    RecordingWatch m_watch; // the level display and the desktop kept awake while recording
    SpaceWatch m_spaceWatch;
};
