#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A PulseAudio daemon of the test's own, in a runtime folder of its own, so that killing it
// disturbs no other test: a null sink "out" as the default output and a default input "vmic"
// carrying a steady 440 Hz tone. The process's environment points Qt at it; start it before
// anything touches the sound devices.
class PrivateSoundServer
{
public:
    PrivateSoundServer();
    ~PrivateSoundServer();

    // Empty when the server runs, otherwise why not.
    QString start();
    // Kills the daemon with SIGKILL, as a crash would.
    void kill();
    // Takes the default input away, as unplugging it would, and brings it back.
    bool removeInput();
    bool restoreInput();
    // Runs pactl against this server; output gets what it printed.
    bool pactl(const QStringList &arguments, QString *output = nullptr) const;

private:
    QString m_inputModule;
    QTemporaryDir m_runtime;
    QProcess m_daemon;
    QProcess m_tone;
    QProcess m_feed;
};
