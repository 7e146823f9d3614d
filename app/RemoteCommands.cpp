#include "app/RemoteCommands.h"

#include "app/AppLog.h"
#include "platform/UserInput.h"
#include "recorder/RecorderController.h"
#include "recorder/TimedStop.h"

#include <QAbstractButton>
#include <QTimer>

namespace {

const QString Starting = QStringLiteral("录音机正在启动，请稍后再试。");
const QString DialogOpen = QStringLiteral("录音机有一个对话框尚未关闭，请先回答它。");
const QString AlreadyRecording = QStringLiteral("已经在录音。");
const QString PlayingNow = QStringLiteral("正在播放，不能开始录音。");
const QString NothingToStop = QStringLiteral("没有正在进行的录音或播放。");

} // namespace

RemoteCommands::RemoteCommands(const Window &window, UserInput &userInput)
    : m_w(window)
    , m_userInput(userInput)
{}

Result<> RemoteCommands::command(RemoteCommand command, std::chrono::seconds stopAfter)
{
    if (!m_startedUp)
        return Failure(Starting);
    if (m_userInput.blocked())
        return Failure(DialogOpen);
    if (stopAfter > TimedStop::longest)
        return Failure(CommandLine::TooLong);
    QAbstractButton *button = buttonFor(command);
    if (!button->isEnabled()) {
        if (button == m_w.cmdStop)
            return Failure(NothingToStop);
        return Failure(m_w.recorder->state() == RecorderController::State::Playing
                               ? PlayingNow
                               : AlreadyRecording);
    }
    // The answer goes back now; the click follows, with nothing of the caller's on the stack.
    QTimer::singleShot(0, button, [this, button, stopAfter] { click(button, stopAfter); });
    return {};
}

QString RemoteCommands::state() const
{
    switch (m_w.recorder->state()) {
    case RecorderController::State::Ready:
        break;
    case RecorderController::State::Recording:
        return QStringLiteral("recording");
    case RecorderController::State::Playing:
        return QStringLiteral("playing");
    }
    return QStringLiteral("ready");
}

void RemoteCommands::startUpDone()
{
    m_startedUp = true;
    if (!m_startCommand)
        return;
    const Result<> done = command(m_startCommand->command, m_startCommand->stopAfter);
    if (!done.ok())
        qCInfo(lcApp).noquote() << "the command the program was started with is not carried out:"
                                << done.reason();
    m_startCommand.reset();
}

QAbstractButton *RemoteCommands::buttonFor(RemoteCommand command) const
{
    switch (command) {
    case RemoteCommand::Record:
        return m_w.cmdRecord;
    case RemoteCommand::Stop:
        return m_w.cmdStop;
    case RemoteCommand::Toggle:
        break;
    }
    return m_w.cmdRecord->isEnabled() ? m_w.cmdRecord : m_w.cmdStop;
}

void RemoteCommands::click(QAbstractButton *button, std::chrono::seconds stopAfter)
{
    // Like a click that lands a moment later: a box or a state that came meanwhile stops it.
    if (m_userInput.blocked() || !button->isEnabled())
        return;
    button->click();
    if (button == m_w.cmdRecord && stopAfter.count() > 0
        && m_w.recorder->state() == RecorderController::State::Recording)
        m_w.timedStop->set(stopAfter);
}
