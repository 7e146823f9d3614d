#pragma once

#include "app/CommandLine.h"
#include "platform/CommandHandler.h"

#include <optional>

class QAbstractButton;
class RecorderController;
class TimedStop;
class UserInput;

// The commands other processes hand the running copy, carried out as clicks on the recorder's
// buttons: only what a click could do, and only when a click would reach its button. A command
// is answered at once; the click follows from the event loop, as a real one would.
class RemoteCommands : public CommandHandler
{
public:
    struct Window
    {
        QAbstractButton *cmdRecord = nullptr;
        QAbstractButton *cmdStop = nullptr;
        RecorderController *recorder = nullptr;
        TimedStop *timedStop = nullptr;
    };

    RemoteCommands(const Window &window, UserInput &userInput);

    Result<> command(RemoteCommand command, std::chrono::seconds stopAfter) override;
    QString state() const override;

    // What the program was started with, for when start-up is done.
    void setStartCommand(const StartCommand &command) { m_startCommand = command; }
    // Start-up, the offer of leftover takes included, is over: commands are taken from now on,
    // and the one the program was started with is carried out.
    void startUpDone();

private:
    QAbstractButton *buttonFor(RemoteCommand command) const;
    void click(QAbstractButton *button, std::chrono::seconds stopAfter);

    Window m_w;
    UserInput &m_userInput;
    std::optional<StartCommand> m_startCommand;
    bool m_startedUp = false;
};
