#pragma once

#include "core/Result.h"

#include <QString>

#include <chrono>

// What another process of the session may ask of the copy that runs: the recorder's buttons.
enum class RemoteCommand {
    Record, // as 录音
    Stop,   // as 停止
    Toggle, // 录音 in the ready state, 停止 otherwise
};

// The running copy's side of those commands. Each is answered at once: accepted, or refused
// with the reason in one sentence; the work itself follows as a click's would.
class CommandHandler
{
public:
    virtual ~CommandHandler() = default;
    // stopAfter: with Record, a timed stop that far ahead; zero for none.
    virtual Result<> command(RemoteCommand command, std::chrono::seconds stopAfter) = 0;
    // "ready", "recording" or "playing".
    virtual QString state() const = 0;
};
