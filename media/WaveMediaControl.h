#pragma once

#include "media/MediaControl.h"
#include "media/Playback.h"
#include "media/files/WaveSaver.h"
#include "media/take/OrphanTake.h"
#include "media/take/SpoolWriter.h"
#include "media/take/StorageThread.h"

#include <QTimer>

#include <memory>

class AudioInput;
class AudioOutput;
class FileSystem;
class PulseConnection;
class Waveform;

// The media control over the sound server and libsndfile. Recording inserts at the current
// position; playback runs from the current position to the end. Capture and playback run on
// the sound server's thread and the take is written on the storage thread, so a window that
// stalls cuts nothing. A failure that ends a recording or playback on its own (disk full,
// server gone) is signalled as it happens and reported once more by the "stop" that follows,
// since that stop finds nothing left to stop.
class WaveMediaControl : public MediaControl
{
    Q_OBJECT

public:
    // Records and plays through the sound server, on a connection of its own.
    explicit WaveMediaControl(QObject *parent = nullptr);
    // Records and plays through the program's connection to the sound server.
    explicit WaveMediaControl(PulseConnection &pulse, QObject *parent = nullptr);
    WaveMediaControl(std::unique_ptr<AudioInput> input,
                     std::unique_ptr<AudioOutput> output,
                     QObject *parent = nullptr);
    ~WaveMediaControl() override;

    Result<> setCommand(const QString &command) override;
    void setFileName(const QString &fileName) override;

    qint16 DeviceID() const override { return m_deviceId; }
    qint32 Position() const override;
    qint32 Length() const override;

    Result<> canOpen(const QString &path) const override;

    void selectDevices(const QByteArray &inputSource, const QByteArray &outputSink) override;
    void setLevelWanted(bool wanted) override;
    void cancelSave() override;
    void finishWriting() override;

    QList<LeftoverTake> leftoverTakes() override;
    Result<> recoverTake(const QString &id) override;
    void discardTake(const QString &id) override;
    void keepLeftoverTakes() override;

    // In frames of the open waveform, for tests and benchmarks.
    qint64 positionFrames() const;
    qint64 lengthFrames() const;
    bool isRecording() const { return m_writer.isWriting(); }
    bool isPlaying() const { return m_playback.isPlaying(); }
    // Waits until what was captured and asked for so far is written, for tests and benchmarks
    // that look at the disk.
    void waitForStorage();
    // Where captured audio is spooled; the program's state folder unless set.
    void setSpoolFolder(const QString &folder) { m_spoolFolder = folder; }
    QString spoolFolder() const override;
    qint64 bytesPerSecond() const override;
    // The calls that put recordings and saves on the disk; the system's own unless set.
    void setFileSystem(FileSystem &fileSystem) { m_fs = &fileSystem; }

private:
    WaveMediaControl(std::unique_ptr<PulseConnection> ownPulse, QObject *parent);
    Result<> carryOut(const QString &command);
    Result<> close();
    Result<> open();
    Result<> record();
    Result<> stop();
    Result<> prev();
    Result<> play();
    Result<> save();

    // Ends recording or playback, keeping the position where it stood.
    void stopActivity();
    // Makes waveform the open recording; the one it replaces was dropped by the user.
    void replaceWaveform(std::unique_ptr<Waveform> waveform);
    // The level and status updates run only when someone can make use of them.
    void keepTimers();
    void onCaptureFailed(const QString &reason);
    void onStorageFailed(const QString &reason);
    void onPlaybackFinished();
    void onPlaybackFailed(const QString &reason);
    qint32 toMs(qint64 frames) const;

    std::unique_ptr<PulseConnection> m_ownPulse; // when no connection was given
    FileSystem *m_fs;
    StorageThread m_storage;
    std::unique_ptr<AudioInput> m_input;
    std::unique_ptr<AudioOutput> m_output;
    SpoolWriter m_writer;
    Playback m_playback;
    std::unique_ptr<Waveform> m_waveform;
    QTimer m_statusTimer;
    QTimer m_levelTimer; // takes the input's level while recording, if wanted
    bool m_levelWanted = true;
    WaveSaver::Progress *m_saving = nullptr; // while a save runs
    std::vector<OrphanTake> m_orphans;
    QString m_fileName;
    QString m_spoolFolder;
    QString m_brokenOff;        // why recording or playback ended by itself, until the next command
    bool m_storageTold = false; // this take's storage failure has been told
    qint64 m_position = 0;      // frames, while neither recording nor playing
    qint64 m_insertAt = 0;      // where the take under way began
    qint16 m_deviceId = 0;
    qint16 m_lastDeviceId = 0;
};
