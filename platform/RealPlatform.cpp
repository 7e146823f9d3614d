#include "platform/RealPlatform.h"

#include "platform/ApplicationFolder.h"
#include "platform/DBusCommandService.h"
#include "platform/DBusSleepInhibitor.h"
#include "platform/DesktopLauncher.h"
#include "platform/ImmediateProgramEnd.h"
#include "platform/LockFileInstanceGuard.h"
#include "platform/QtCommonDialog.h"
#include "platform/QtMessageBox.h"
#include "platform/QtProgressDialog.h"
#include "platform/QtUserInput.h"
#include "platform/StatvfsFreeSpace.h"
#include "platform/SystemClock.h"

RealPlatform::RealPlatform()
{
    auto commonDialog = std::make_unique<QtCommonDialog>();
    auto messageBox = std::make_unique<QtMessageBox>();
    m_commonDialog = commonDialog.get();
    m_messageBox = messageBox.get();
    m_services.cdg = std::move(commonDialog);
    m_services.messageBox = std::move(messageBox);
    m_services.clock = std::make_unique<SystemClock>();
    auto instanceGuard = std::make_unique<LockFileInstanceGuard>();
    auto sleepInhibitor = std::make_unique<DBusSleepInhibitor>();
    LockFileInstanceGuard *guard = instanceGuard.get();
    DBusSleepInhibitor *inhibitor = sleepInhibitor.get();
    m_services.programEnd = std::make_unique<ImmediateProgramEnd>([guard, inhibitor] {
        inhibitor->release();
        guard->release();
    });
    m_services.launcher = std::make_unique<DesktopLauncher>();
    m_services.programFolder = std::make_unique<ApplicationFolder>();
    m_services.instanceGuard = std::move(instanceGuard);
    m_services.sleepInhibitor = std::move(sleepInhibitor);
    auto progress = std::make_unique<QtProgressDialog>();
    m_progress = progress.get();
    m_services.userInput = std::make_unique<QtUserInput>(*progress);
    m_services.progress = std::move(progress);
    m_services.commands = std::make_unique<DBusCommandService>();
    m_services.freeSpace = std::make_unique<StatvfsFreeSpace>();
}

void RealPlatform::setParentWidget(QWidget *parent)
{
    m_commonDialog->setParentWidget(parent);
    m_messageBox->setParentWidget(parent);
    m_progress->setParentWidget(parent);
}
