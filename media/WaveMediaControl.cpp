#include "media/WaveMediaControl.h"

#include "core/TapewrenError.h"
#include "media/MediaLog.h"
#include "media/MediaTexts.h"
#include "media/files/PendingSave.h"
#include "media/files/WaveSaver.h"
#include "media/server/AudioInput.h"
#include "media/server/AudioOutput.h"
#include "media/server/PulseCapture.h"
#include "media/server/PulseConnection.h"
#include "media/server/PulsePlayback.h"
#include "media/take/SpoolFile.h"
#include "media/take/Waveform.h"
#include "platform/FileSystem.h"
#include "platform/StateFolder.h"

#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <optional>
#include <thread>

namespace {

// The number the untrapped-error report gives an overflow.
constexpr int overflowError = 6;
constexpr int saveProgressInterval = 50; // ms
constexpr auto levelInterval = std::chrono::milliseconds(100);

} // namespace

WaveMediaControl::WaveMediaControl(QObject *parent)
    : WaveMediaControl(std::make_unique<PulseConnection>(), parent)
{}

WaveMediaControl::WaveMediaControl(std::unique_ptr<PulseConnection> ownPulse, QObject *parent)
    : WaveMediaControl(std::make_unique<PulseCapture>(*ownPulse),
                       std::make_unique<PulsePlayback>(*ownPulse),
                       parent)
{
    m_ownPulse = std::move(ownPulse); // declared first, so it goes after the streams
}

WaveMediaControl::WaveMediaControl(PulseConnection &pulse, QObject *parent)
    : WaveMediaControl(std::make_unique<PulseCapture>(pulse),
                       std::make_unique<PulsePlayback>(pulse),
                       parent)
{}

WaveMediaControl::WaveMediaControl(std::unique_ptr<AudioInput> input,
                                   std::unique_ptr<AudioOutput> output,
                                   QObject *parent)
    : MediaControl(parent)
    , m_fs(&FileSystem::system())
    , m_input(std::move(input))
    , m_output(std::move(output))
    , m_writer(m_storage)
    , m_playback(*m_output)
{
    m_statusTimer.setInterval(UpdateInterval());
    connect(&m_statusTimer, &QTimer::timeout, this, &MediaControl::StatusUpdate);
    connect(m_input.get(), &AudioInput::failed, this, &WaveMediaControl::onCaptureFailed);
    // queued: a capture that tells it from this thread is still inside its own call
    connect(&m_writer,
            &SpoolWriter::failed,
            this,
            &WaveMediaControl::onStorageFailed,
            Qt::QueuedConnection);
    // The level is taken ten times a second on the window's own coarse timer, so these wake-ups
    // fall in with the recording clock's and the status update's.
    m_levelTimer.setInterval(levelInterval);
    m_levelTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_levelTimer, &QTimer::timeout, this, [this] {
        if (const std::optional<PeakMeter::Reading> level = m_writer.takeLevel())
            emit InputLevel(level->peakDb, level->clipped);
    });
    connect(&m_writer, &SpoolWriter::soundLost, this, [this](qint64 frames) {
        if (m_waveform)
            emit SoundLost(m_waveform->format().framesToMs(frames));
    });
    connect(&m_playback, &Playback::finished, this, &WaveMediaControl::onPlaybackFinished);
    connect(&m_playback, &Playback::failed, this, &WaveMediaControl::onPlaybackFailed);
}

WaveMediaControl::~WaveMediaControl()
{
    stopActivity();
}

Result<> WaveMediaControl::setCommand(const QString &command)
{
    const Result<> result = carryOut(command);
    m_brokenOff.clear();
    return result;
}

Result<> WaveMediaControl::carryOut(const QString &command)
{
    const QString name = command.trimmed().toLower();
    if (name == u"close")
        return close();
    if (name == u"open")
        return open();
    if (name == u"record")
        return record();
    if (name == u"stop")
        return stop();
    if (name == u"prev")
        return prev();
    if (name == u"play")
        return play();
    if (name == u"save")
        return save();
    return Failure(MediaTexts::unknownCommand(command));
}

void WaveMediaControl::setFileName(const QString &fileName)
{
    m_fileName = fileName;
}

qint32 WaveMediaControl::Position() const
{
    return toMs(positionFrames());
}

qint32 WaveMediaControl::Length() const
{
    return toMs(lengthFrames());
}

qint64 WaveMediaControl::positionFrames() const
{
    if (m_writer.isWriting())
        return m_insertAt + m_waveform->insertedFrames();
    if (m_playback.isPlaying())
        return m_playback.position();
    return m_position;
}

qint64 WaveMediaControl::lengthFrames() const
{
    return m_waveform ? m_waveform->frames() : 0;
}

qint32 WaveMediaControl::toMs(qint64 frames) const
{
    if (!m_waveform)
        return 0;
    const qint64 ms = m_waveform->format().framesToMs(frames);
    if (ms > std::numeric_limits<qint32>::max())
        throw TapewrenError(overflowError, MediaTexts::tooLong());
    return qint32(ms);
}

Result<> WaveMediaControl::canOpen(const QString &path) const
{
    const Result<std::unique_ptr<Waveform>> opened = Waveform::open(path);
    if (!opened.ok())
        return opened.failure();
    return {};
}

void WaveMediaControl::selectDevices(const QByteArray &inputSource, const QByteArray &outputSink)
{
    m_input->setSource(inputSource);
    m_output->setSink(outputSink);
}

void WaveMediaControl::setLevelWanted(bool wanted)
{
    m_levelWanted = wanted;
    m_writer.setMetering(wanted);
    m_input->setLargePieces(!wanted);
    keepTimers();
}

void WaveMediaControl::keepTimers()
{
    const bool recording = m_writer.isWriting();
    if (recording && m_levelWanted)
        m_levelTimer.start();
    else
        m_levelTimer.stop();
    // while a take runs unseen the status updates have nothing to watch: none wakes the program
    const bool statusWanted = m_waveform && (!recording || m_levelWanted);
    if (statusWanted && !m_statusTimer.isActive())
        m_statusTimer.start();
    else if (!statusWanted)
        m_statusTimer.stop();
}

void WaveMediaControl::waitForStorage()
{
    m_writer.writeNow();
    m_storage.waitIdle();
}

void WaveMediaControl::finishWriting()
{
    stopActivity();
    m_storage.waitIdle();
}

Result<> WaveMediaControl::close()
{
    stopActivity();
    if (m_waveform)
        m_waveform->discard();
    m_waveform.reset();
    m_position = 0;
    m_deviceId = 0;
    m_statusTimer.stop();
    return {};
}

Result<> WaveMediaControl::open()
{
    if (m_fileName.isEmpty())
        return Failure(MediaTexts::noFileName());
    std::unique_ptr<Waveform> waveform;
    if (m_fileName.compare(u"new", Qt::CaseInsensitive) == 0) {
        waveform = std::make_unique<Waveform>();
    } else {
        Result<std::unique_ptr<Waveform>> opened = Waveform::open(m_fileName);
        if (!opened.ok())
            return opened.failure();
        waveform = std::move(opened.value());
    }
    replaceWaveform(std::move(waveform));
    return {};
}

void WaveMediaControl::replaceWaveform(std::unique_ptr<Waveform> waveform)
{
    stopActivity();
    if (m_waveform)
        m_waveform->discard();
    m_waveform = std::move(waveform);
    m_waveform->setSpoolFolder(spoolFolder());
    m_waveform->setStorage(&m_storage, m_fs);
    m_waveform->onStorageFailure([this](const QString &reason) {
        QMetaObject::invokeMethod(
                this, [this, reason] { onStorageFailed(reason); }, Qt::QueuedConnection);
    });
    m_position = 0;
    m_lastDeviceId = qint16(m_lastDeviceId % std::numeric_limits<qint16>::max() + 1);
    m_deviceId = m_lastDeviceId;
    m_statusTimer.start();
}

QString WaveMediaControl::spoolFolder() const
{
    return m_spoolFolder.isEmpty() ? StateFolder::path() : m_spoolFolder;
}

qint64 WaveMediaControl::bytesPerSecond() const
{
    if (!m_waveform)
        return 0;
    const WaveFormat format = m_waveform->format();
    return qint64(format.bytesPerFrame()) * format.sampleRate();
}

Result<> WaveMediaControl::record()
{
    if (!m_waveform)
        return Failure(MediaTexts::noDeviceOpen());
    if (m_writer.isWriting())
        return {};
    stopActivity();
    if (Result<> begun = m_waveform->beginInsert(m_position); !begun.ok())
        return begun;
    m_insertAt = std::min(m_position, m_waveform->frames());
    m_storageTold = false;
    m_writer.begin(m_waveform->spool(), m_waveform->format());
    Result<> started = m_input->start(m_waveform->format().audioFormat(), &m_writer);
    if (!started.ok()) {
        m_waveform->endInsert(m_writer.end());
        return started;
    }
    keepTimers();
    emit RecordingChanged(true);
    return {};
}

Result<> WaveMediaControl::stop()
{
    if (!m_waveform)
        return Failure(MediaTexts::noDeviceOpen());
    if (!m_brokenOff.isEmpty())
        return Failure(m_brokenOff);
    stopActivity();
    return {};
}

Result<> WaveMediaControl::prev()
{
    if (!m_waveform)
        return Failure(MediaTexts::noDeviceOpen());
    stopActivity();
    m_position = 0;
    return {};
}

Result<> WaveMediaControl::play()
{
    if (!m_waveform)
        return Failure(MediaTexts::noDeviceOpen());
    if (m_playback.isPlaying())
        return {};
    stopActivity();
    if (m_position >= m_waveform->frames())
        return {}; // nothing left to hear: Position already equals Length
    return m_playback.start(*m_waveform, m_position);
}

Result<> WaveMediaControl::save()
{
    if (!m_waveform)
        return Failure(MediaTexts::noDeviceOpen());
    if (m_fileName.isEmpty() || m_fileName.compare(u"new", Qt::CaseInsensitive) == 0)
        return Failure(MediaTexts::noFileName());
    if (m_saving)
        return Failure(MediaTexts::saveBusy());
    Result<std::unique_ptr<Waveform>> copy = m_waveform->readOnlyCopy();
    if (!copy.ok())
        return copy.failure();

    // The save runs on a thread of its own over a copy that reads through handles of its own;
    // this thread keeps the program's events going (the window paints, the clock ticks, a
    // recording goes on) and says how far it got.
    WaveSaver::Progress progress;
    m_saving = &progress;
    const Waveform *saving = m_waveform.get();
    const quint64 changesBefore = saving->changes();
    const QString path = m_fileName;
    Result<> saved;
    QEventLoop loop;
    std::thread saver([&] {
        saved = WaveSaver::save(*copy.value(), path, &progress);
        // queued, so it ends the loop even when it comes before the loop has started
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer watch;
    connect(&watch, &QTimer::timeout, &loop, [&] {
        emit SaveProgress(progress.written.load(), progress.total.load());
    });
    watch.start(saveProgressInterval);
    loop.exec();
    saver.join();
    m_saving = nullptr;

    // the events meanwhile may have closed the recording that was saved, or recorded on
    if (saved.ok() && m_waveform.get() == saving && saving->changes() == changesBefore)
        m_waveform->savedAs(path);
    return saved;
}

void WaveMediaControl::cancelSave()
{
    if (m_saving)
        m_saving->cancel = true;
}

void WaveMediaControl::stopActivity()
{
    if (m_writer.isWriting()) {
        m_input->stop();
        const qint64 frames = m_writer.end();
        m_waveform->endInsert(frames);
        m_position = m_insertAt + frames;
        keepTimers();
        emit RecordingChanged(false);
    }
    if (m_playback.isPlaying()) {
        m_position = m_playback.position();
        m_playback.stop();
    }
}

QList<LeftoverTake> WaveMediaControl::leftoverTakes()
{
    PendingSave::removeLeftovers(spoolFolder());
    m_orphans = OrphanTake::findIn(spoolFolder(), *m_fs);
    QList<LeftoverTake> takes;
    for (const OrphanTake &orphan : m_orphans) {
        takes.append({orphan.spoolPath(),
                      orphan.started(),
                      orphan.lengthMs(),
                      orphan.filePath(),
                      orphan.fileChanged()});
    }
    return takes;
}

Result<> WaveMediaControl::recoverTake(const QString &id)
{
    const auto orphan = std::find_if(m_orphans.begin(), m_orphans.end(), [&](const OrphanTake &o) {
        return o.spoolPath() == id;
    });
    if (orphan == m_orphans.end())
        return Failure(QStringLiteral(u"没有这段录音"));
    std::unique_ptr<Waveform> recording = orphan->recover();
    m_orphans.erase(orphan);
    if (!recording)
        return Failure(QStringLiteral(u"没有这段录音"));
    replaceWaveform(std::move(recording));
    return {};
}

void WaveMediaControl::discardTake(const QString &id)
{
    const auto orphan = std::find_if(m_orphans.begin(), m_orphans.end(), [&](const OrphanTake &o) {
        return o.spoolPath() == id;
    });
    if (orphan == m_orphans.end())
        return;
    orphan->remove();
    m_orphans.erase(orphan);
}

void WaveMediaControl::keepLeftoverTakes()
{
    m_orphans.clear();
}

void WaveMediaControl::onCaptureFailed(const QString &reason)
{
    if (!m_writer.isWriting())
        return;
    stopActivity();
    m_brokenOff = reason;
    emit brokeOff(reason);
}

void WaveMediaControl::onStorageFailed(const QString &reason)
{
    // once a take: the writer and the journal may both fail on the same disk
    if (m_storageTold || !m_waveform)
        return;
    m_storageTold = true;
    const bool recording = m_writer.isWriting();
    stopActivity();
    // only what the disk itself holds is kept, and said to be kept
    m_waveform->keepOnlyDurableSound();
    m_position = std::min(m_position, m_waveform->frames());
    if (recording)
        m_brokenOff = reason;
    emit brokeOff(reason);
}

void WaveMediaControl::onPlaybackFinished()
{
    m_position = lengthFrames();
}

void WaveMediaControl::onPlaybackFailed(const QString &reason)
{
    m_position = m_playback.position();
    m_brokenOff = reason;
    emit brokeOff(reason);
}
