#include "recorder/RecorderController.h"

#include "core/Skip.h"
#include "media/MediaControl.h"
#include "platform/Clock.h"
#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "platform/ProgressDialog.h"
#include "recorder/RecordingClock.h"
#include "recorder/StatusTexts.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScopeGuard>
#include <QTimer>

using namespace StatusTexts;

RecorderController::RecorderController(const RecorderControls &controls, Services services)
    : m_c(controls)
    , m_services(std::move(services))
    , m_waveDeviceSetup(m_services.waveDevice, m_services.messageBox)
    , m_watch({m_c.levelMeter, m_c.clipMark, m_c.lblWarning, m_c.TimerBar},
              *m_c.MMCRecord,
              m_services.sleepInhibitor)
    , m_spaceWatch(*m_c.MMCRecord,
                   m_services.freeSpace,
                   m_services.clock,
                   m_c.TimerBar,
                   m_watch.warnings())
{}

RecorderController::State RecorderController::state() const
{
    if (!m_c.cmdStop->isEnabled())
        return State::Ready;
    return m_c.Lblread->text() == PlayingText ? State::Playing : State::Recording;
}

void RecorderController::NewRecording()
{
    m_c.MMCRecord->setCommand(QStringLiteral("close"));
    m_c.MMCRecord->setFileName(QStringLiteral("new"));
    m_c.MMCRecord->setCommand(QStringLiteral("open"));
    m_c.LblFile->setText(NewFile);
    m_waveDeviceSetup.run(*m_c.MMCRecord);
    IsModified = FlagFalse;
}

void RecorderController::StartRecording()
{
    // A command that raises is skipped like any failing statement; one that the device refuses
    // says why, and the window then stays ready rather than pretend to record.
    Result<> recorded;
    Skip::statement([&] { recorded = m_c.MMCRecord->setCommand(QStringLiteral("record")); });
    if (!recorded.ok()) {
        Skip::statement([&] { report(CannotRecord.arg(recorded.reason())); });
        return;
    }
    Skip::statement([&] {
        const QString time = m_services.clock.now().toString(QStringLiteral("HH:mm:ss"));
        m_c.Lblread->setText(RecordStartPrefix + time + RecordStartSuffix);
    });
    Skip::statement([&] {
        RecordStartTime = m_services.clock.now();
        m_recordStartSecs = RecordStartTime.toSecsSinceEpoch();
    });
    Skip::statement([&] { m_c.TimerBar->start(); });
    Skip::statement([&] { m_c.cmdNew->setEnabled(false); });
    Skip::statement([&] { m_c.cmdRecord->setEnabled(false); });
    Skip::statement([&] { m_c.cmdPlay->setEnabled(false); });
    Skip::statement([&] { m_c.cmdStop->setEnabled(true); });
    Skip::statement([&] { m_c.cmdSave->setEnabled(false); });
    Skip::statement([&] { IsModified = FlagTrue; });
}

void RecorderController::StopRecording()
{
    m_c.MMCRecord->setCommand(QStringLiteral("stop"));
    m_c.Lblread->setText(StoppedText);
    m_c.TimerBar->stop();
    m_c.cmdNew->setEnabled(true);
    m_c.cmdRecord->setEnabled(true);
    m_c.cmdPlay->setEnabled(true);
    m_c.cmdStop->setEnabled(false);
    m_c.cmdSave->setEnabled(true);
}

void RecorderController::PlayRecording()
{
    m_c.MMCRecord->setCommand(QStringLiteral("prev"));
    // A playback that cannot start says why; the window then stays ready.
    if (const Result<> played = m_c.MMCRecord->setCommand(QStringLiteral("play")); !played.ok()) {
        report(CannotPlay.arg(played.reason()));
        return;
    }
    m_c.Lblread->setText(PlayingText);
    m_c.TimerBar->stop();
    m_c.cmdNew->setEnabled(false);
    m_c.cmdRecord->setEnabled(false);
    m_c.cmdPlay->setEnabled(false);
    m_c.cmdStop->setEnabled(true);
    m_c.cmdSave->setEnabled(false);
}

void RecorderController::SaveRecording()
{
    CommonDialog &cdg = *m_c.cdg;
    Skip::statement([&] { cdg.setFilter(SaveFilter); });
    Skip::statement([&] { cdg.setFileName(QString()); });
    Skip::statement([&] { cdg.setCancelError(FlagTrue); });
    Skip::statement([&] { cdg.ShowSave(); });
    if (Skip::test([&] { return !cdg.FileName().isEmpty(); })) {
        Skip::statement([&] { CurrentFileName = cdg.FileName(); });
        Skip::statement([&] { m_c.MMCRecord->setFileName(CurrentFileName); });
        // The file line, the status and the modified flag change only once the file is written,
        // so a failed save is reported instead of passing for a good one.
        Result<> saved = Failure(QStringLiteral("保存命令无法执行"));
        Skip::statement([&] { saved = saveWithProgress(); });
        if (saved.ok()) {
            Skip::statement([&] { m_c.LblFile->setText(FilePrefix + CurrentFileName); });
            Skip::statement([&] { m_c.Lblread->setText(StoppedText); });
            Skip::statement([&] { m_c.TimerBar->stop(); });
            Skip::statement([&] { IsModified = FlagFalse; });
        } else if (saved.kind() != Failure::Cancelled) {
            Skip::statement([&] { report(CannotSave.arg(CurrentFileName, saved.reason())); });
        }
    }
    Skip::statement([&] { m_services.cmdTuLing_Click(); });
}

Result<> RecorderController::saveWithProgress()
{
    ProgressDialog &progress = m_services.progress;
    progress.begin(SavingText, [this] { m_c.MMCRecord->cancelSave(); });
    const QMetaObject::Connection reports = QObject::connect(m_c.MMCRecord,
                                                             &MediaControl::SaveProgress,
                                                             [&progress](qint64 written,
                                                                         qint64 total) {
                                                                 progress.setProgress(written,
                                                                                      total);
                                                             });
    // the dialog goes however the command ends, a raised error included
    const auto done = qScopeGuard([&] {
        QObject::disconnect(reports);
        progress.end();
    });
    return m_c.MMCRecord->setCommand(QStringLiteral("save"));
}

void RecorderController::OpenRecording()
{
    CommonDialog &cdg = *m_c.cdg;
    Skip::statement([&] { cdg.setFilter(OpenFilter); });
    // Start from an empty name, so Cancel leaves everything as it was instead of reopening the
    // file of the previous dialog.
    Skip::statement([&] { cdg.setFileName(QString()); });
    Skip::statement([&] { cdg.ShowOpen(); });
    if (Skip::test([&] { return !cdg.FileName().isEmpty(); })) {
        QString chosen = CurrentFileName;
        Skip::statement([&] { chosen = cdg.FileName(); });
        // Check the file before anything is closed, so a bad file costs nothing.
        Result<> openable;
        Skip::statement([&] { openable = m_c.MMCRecord->canOpen(chosen); });
        if (!openable.ok()) {
            Skip::statement([&] { report(CannotOpen.arg(chosen, openable.reason())); });
            return;
        }
        Skip::statement([&] { CurrentFileName = chosen; });
        Skip::statement([&] { m_c.MMCRecord->setCommand(QStringLiteral("close")); });
        Skip::statement([&] { m_c.MMCRecord->setFileName(CurrentFileName); });
        Skip::statement([&] { m_c.LblFile->setText(FilePrefix + CurrentFileName); });
        Skip::statement([&] { m_c.MMCRecord->setCommand(QStringLiteral("open")); });
        Skip::statement([&] { m_c.TimerBar->stop(); });
        Skip::statement([&] { IsModified = FlagFalse; });
        // A recording or playback under way went with the recording it belonged to.
        if (Skip::test([&] { return m_c.cmdStop->isEnabled(); }))
            showReady();
    }
}

void RecorderController::TimerBar_Timer()
{
    Skip::statement([&] {
        // in whole seconds, without turning the local time into the epoch's five times a second
        const qint64 elapsed = m_services.clock.secsSinceEpoch() - m_recordStartSecs;
        // five ticks a second show the same text: it is made only when the second changes
        if (elapsed != m_clockSeconds || m_clockText.isEmpty()) {
            m_clockText = RecordingClock::text(elapsed);
            m_clockSeconds = elapsed;
        }
        m_c.LblFile->setText(m_clockText);
    });
}

void RecorderController::MMCRecord_StatusUpdate()
{
    // Both conditions are evaluated, in this order; a failed read counts as the end of playback.
    if (Skip::test([&] {
            const QString caption = m_c.Lblread->text();
            const qint32 position = m_c.MMCRecord->Position();
            const qint32 length = m_c.MMCRecord->Length();
            const bool atEnd = position >= length;
            const bool playing = caption == PlayingText;
            return atEnd && playing;
        })) {
        Skip::statement([&] { StopRecording(); });
    }
}

void RecorderController::MMCRecord_BrokeOff(const QString &reason)
{
    const QString status = m_c.Lblread->text();
    const bool playing = status == PlayingText;
    // Stopped already, a take can still turn out short: its last second did not reach the disk.
    const bool recording = !playing;
    if (status.startsWith(RecordStartPrefix) || playing)
        Skip::statement([&] { StopRecording(); });
    if (recording) {
        Skip::statement([&] {
            const qint64 kept = m_c.MMCRecord->Length() / 1000;
            report(RecordingBrokeOff.arg(reason, RecordingClock::minutesSeconds(kept)));
        });
    } else {
        Skip::statement([&] { report(PlaybackBrokeOff.arg(reason)); });
    }
}

void RecorderController::RecordingRecovered(const LeftoverTake &take)
{
    const bool inFile = !take.filePath.isEmpty() && !take.fileChanged;
    if (inFile) {
        Skip::statement([&] { CurrentFileName = take.filePath; });
        Skip::statement([&] { m_c.LblFile->setText(FilePrefix + take.filePath); });
    } else {
        Skip::statement([&] { m_c.LblFile->setText(NewFile); });
    }
    Skip::statement([&] { IsModified = FlagTrue; });
    if (take.fileChanged)
        Skip::statement([&] { report(RecoveredWithoutFile.arg(take.filePath)); });
}

void RecorderController::showReady()
{
    Skip::statement([&] { m_c.Lblread->setText(StoppedText); });
    Skip::statement([&] { m_c.cmdNew->setEnabled(true); });
    Skip::statement([&] { m_c.cmdRecord->setEnabled(true); });
    Skip::statement([&] { m_c.cmdPlay->setEnabled(true); });
    Skip::statement([&] { m_c.cmdStop->setEnabled(false); });
    Skip::statement([&] { m_c.cmdSave->setEnabled(true); });
}

void RecorderController::report(const QString &text)
{
    m_services.messageBox.show(text, MessageBox::OkOnly + MessageBox::Exclamation, MessageTitle);
}
