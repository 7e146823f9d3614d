#pragma once

#include "platform/Clock.h"
#include "platform/CommandService.h"
#include "platform/CommonDialog.h"
#include "platform/FreeSpace.h"
#include "platform/InstanceGuard.h"
#include "platform/Launcher.h"
#include "platform/MessageBox.h"
#include "platform/ProgramEnd.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgressDialog.h"
#include "platform/SleepInhibitor.h"
#include "platform/UserInput.h"

#include <memory>

// The platform services the program reaches, each behind its own small interface.
struct Platform
{
    std::unique_ptr<CommonDialog> cdg;
    std::unique_ptr<MessageBox> messageBox;
    std::unique_ptr<Clock> clock;
    std::unique_ptr<ProgramEnd> programEnd;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<ProgramFolder> programFolder;
    std::unique_ptr<InstanceGuard> instanceGuard;
    std::unique_ptr<SleepInhibitor> sleepInhibitor;
    std::unique_ptr<ProgressDialog> progress;
    std::unique_ptr<UserInput> userInput;
    std::unique_ptr<CommandService> commands; // what other processes may ask of this copy
    std::unique_ptr<FreeSpace> freeSpace;
};
