#pragma once

#include "platform/CommandHandler.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// A command the program was started with: for the copy that runs, or for this one once it
// has started.
struct StartCommand
{
    RemoteCommand command = RemoteCommand::Record;
    std::chrono::seconds stopAfter{0}; // with Record: a timed stop; zero for none
};

// What the command line asks for: --record, --stop or --toggle, --stop-after DURATION with
// --record, --help, --version. Reading it needs no window and no display.
class CommandLine
{
public:
    enum class Outcome {
        Run,         // start, or hand the command to the copy that runs
        ShowHelp,    // text is the help
        ShowVersion, // text is the version line
        Refuse,      // text is why, in one line
    };

    // arguments: as the program got them, its own name first.
    static CommandLine parse(const QStringList &arguments);

    // What is said of a timed stop past TimedStop::longest, here and to other processes.
    static const QString TooLong;

    Outcome outcome = Outcome::Run;
    std::optional<StartCommand> command;
    QString text;
};
