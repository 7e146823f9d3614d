#include "app/ApplicationFrame.h"

#include "app/SkinLoader.h"
#include "core/Skip.h"
#include "platform/InstanceGuard.h"
#include "platform/MessageBox.h"
#include "platform/ProgramEnd.h"
#include "recorder/RecorderController.h"
#include "recorder/StatusTexts.h"

#include <QAbstractButton>

namespace {
const QString AlreadyRunning = QStringLiteral("Tapewren音频录音机已经运行！");
const QString SavePrompt = QStringLiteral("当前录音已经被更新，是否保存？");
const QString SkinFile = QStringLiteral("default.skn");
} // namespace

ApplicationFrame::ApplicationFrame(RecorderController &recorder,
                                   QAbstractButton &cmdStop,
                                   Services services)
    : m_recorder(recorder)
    , m_cmdStop(cmdStop)
    , m_services(services)
{}

void ApplicationFrame::Form_Load()
{
    if (Skip::test([&] { return m_services.instanceGuard.PrevInstance() == FlagTrue; })) {
        Skip::statement([&] {
            m_services.messageBox.show(AlreadyRunning,
                                       MessageBox::OkOnly + MessageBox::Information,
                                       StatusTexts::MessageTitle);
        });
        Skip::statement([&] { m_services.programEnd.end(); });
    }
    Skip::statement([&] { m_recorder.IsModified = FlagFalse; });
    Skip::statement([&] { m_recorder.NewRecording(); });
    Skip::statement([&] { m_cmdStop.setEnabled(false); });
    Skip::statement([&] { m_services.skinLoader.LoadSkin(SkinFile); });
}

void ApplicationFrame::Form_Unload(qint16 &Cancel)
{
    Cancel = 1;
}

void ApplicationFrame::ExitApplication()
{
    if (m_recorder.IsModified == FlagTrue) {
        const int answer = m_services.messageBox.show(SavePrompt,
                                                      MessageBox::YesNoCancel + MessageBox::Question
                                                              + MessageBox::DefaultButton1,
                                                      StatusTexts::MessageTitle);
        if (answer == MessageBox::Yes) {
            m_recorder.SaveRecording();
            // A cancelled or failed save leaves the recording unsaved: keep running rather
            // than lose it.
            if (m_recorder.IsModified == FlagTrue)
                return;
            m_services.programEnd.end();
        }
        if (answer == MessageBox::No)
            m_services.programEnd.end();
        return;
    }
    m_services.programEnd.end();
}
