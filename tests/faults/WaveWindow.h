#pragma once

#include "FakePlatform.h"

#include "app/FrmMain.h"
#include "media/WaveMediaControl.h"

#include <memory>

class QPushButton;
class RecorderController;
class SyntheticAudioInput;
class SyntheticAudioOutput;

// The main window over the scripted platform and the real media control, loaded and shown.
// Sound comes from and goes to the synthetic devices, or to the sound server.
class WaveWindow
{
public:
    enum class Sound { Synthetic, Server };

    // freeSpace, when given, stands in for the scripted one: the real disk's.
    explicit WaveWindow(Sound sound = Sound::Synthetic,
                        std::unique_ptr<FreeSpace> freeSpace = nullptr);

    const FrmMainUi &ui() const { return frmMain->controls(); }
    RecorderController &recorder() { return frmMain->recorder(); }
    // "N R P S V", as buttonStates() gives it.
    QString buttons() const;
    // A mouse click; false when the button was disabled and the click went nowhere.
    bool click(QPushButton *button);
    // The answer the Save or Open dialog gives next: a path, or Cancel.
    void answerDialog(const std::optional<QString> &path) { fakes.cdg.answers.enqueue(path); }

    FakePlatform fakes;
    std::unique_ptr<WaveMediaControl> media;
    SyntheticAudioInput *input = nullptr;   // null over the sound server
    SyntheticAudioOutput *output = nullptr; // null over the sound server
    std::unique_ptr<FrmMain> frmMain;       // last: it drives the media control
};
