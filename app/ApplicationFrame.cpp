#include "app/ApplicationFrame.h"

#include "app/SkinLoader.h"
#include "core/Skip.h"
#include "media/MediaControl.h"
#include "platform/InstanceGuard.h"
#include "platform/MessageBox.h"
#include "platform/ProgramEnd.h"
#include "recorder/RecorderController.h"
#include "recorder/RecordingClock.h"
#include "recorder/StatusTexts.h"

#include <QAbstractButton>

namespace {

const QString AlreadyRunning = QStringLiteral("Tapewren音频录音机已经运行！");
const QString SavePrompt = QStringLiteral("当前录音已经被更新，是否保存？");
const QString SkinFile = QStringLiteral("default.skn");

QString recoveryPrompt(const LeftoverTake &take)
{
    return QStringLiteral("发现上次未保存的录音（%1，开始于 %2）。是否恢复？")
            .arg(RecordingClock::minutesSeconds(take.lengthMs / 1000),
                 take.started.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

} // namespace

ApplicationFrame::ApplicationFrame(RecorderController &recorder,
                                   MediaControl &MMCRecord,
                                   QAbstractButton &cmdStop,
                                   Services services)
    : m_recorder(recorder)
    , m_MMCRecord(MMCRecord)
    , m_cmdStop(cmdStop)
    , m_services(services)
{}

void ApplicationFrame::Form_Load()
{
    if (Skip::test([&] { return m_services.instanceGuard.PrevInstance() == FlagTrue; })) {
        if (m_handOver) {
            int status = 1;
            Skip::statement([&] { status = m_handOver(); });
            Skip::statement([&] { m_services.programEnd.endWith(status); });
        }
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

void ApplicationFrame::OfferLeftoverTakes()
{
    QList<LeftoverTake> takes;
    Skip::statement([&] { takes = m_MMCRecord.leftoverTakes(); });
    for (const LeftoverTake &take : std::as_const(takes)) {
        int answer = MessageBox::Cancel;
        Skip::statement([&] {
            answer = m_services.messageBox.show(recoveryPrompt(take),
                                                MessageBox::YesNoCancel + MessageBox::Question
                                                        + MessageBox::DefaultButton1,
                                                StatusTexts::MessageTitle);
        });
        if (answer == MessageBox::No) {
            Skip::statement([&] { m_MMCRecord.discardTake(take.id); });
            continue;
        }
        if (answer == MessageBox::Yes) {
            Result<> recovered = Failure(QStringLiteral("恢复命令无法执行"));
            Skip::statement([&] { recovered = m_MMCRecord.recoverTake(take.id); });
            if (recovered.ok()) {
                m_recorder.RecordingRecovered(take);
            } else {
                Skip::statement([&] {
                    m_services.messageBox.show(StatusTexts::CannotRecover.arg(recovered.reason()),
                                               MessageBox::OkOnly + MessageBox::Exclamation,
                                               StatusTexts::MessageTitle);
                });
            }
        }
        break;
    }
    Skip::statement([&] { m_MMCRecord.keepLeftoverTakes(); });
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
            endProgram();
        }
        if (answer == MessageBox::No)
            endProgram();
        return;
    }
    endProgram();
}

void ApplicationFrame::Terminate()
{
    // "stop" ends a take the way Stop does: the spool and its journal are complete on disk.
    Skip::statement([&] { m_MMCRecord.setCommand(QStringLiteral("stop")); });
    Skip::statement([&] { m_MMCRecord.finishWriting(); });
    m_services.programEnd.end();
}

void ApplicationFrame::endProgram()
{
    Skip::statement([&] { m_MMCRecord.setCommand(QStringLiteral("close")); });
    // the spool goes off the disk before the program does
    Skip::statement([&] { m_MMCRecord.finishWriting(); });
    m_services.programEnd.end();
}
