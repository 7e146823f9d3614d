#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "media/server/CaptureSink.h"
#include "media/take/PeakMeter.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class SpoolFile;
class StorageThread;

// Takes a take's sound from the capture's thread and writes it to the spool on the storage
// thread, a second at a time: whole frames, the server's float samples turned into doubles
// where the waveform holds those. The capture's thread measures the level on the way and only
// copies; nothing here waits for the disk. The window takes the level when it wants it, and
// hears of lost sound and failures by queued signals. A failure to write or flush ends the take
// there; what the last flush put on the disk is kept.
class SpoolWriter : public QObject, public CaptureSink
{
    Q_OBJECT

public:
    SpoolWriter(StorageThread &storage, QObject *parent = nullptr);
    ~SpoolWriter() override;

    // Starts a take into spool, of sound in format's layout (its sample type as the server
    // delivers it).
    void begin(std::shared_ptr<SpoolFile> spool, const WaveFormat &format);
    // The capture has stopped: what is on its way still goes to the spool, which is flushed
    // then. Returns the frames the take holds.
    qint64 end();
    bool isWriting() const { return m_spool != nullptr; }
    // Frames received in this take so far, silence for lost sound included.
    qint64 receivedFrames() const;
    // Sends what waits to the storage thread now, rather than once a second of it has come.
    void writeNow();
    // Levels are measured only while someone looks at them.
    void setMetering(bool on) { m_metering = on; }
    // The loudest sample since the last reading, if any sound came meanwhile.
    std::optional<PeakMeter::Reading> takeLevel();

    void captured(const char *data, qint64 bytes) override;
    void lost(qint64 frames) override;

signals:
    // The take could not be written (disk full, a failed flush, ...) and ended there.
    void failed(const QString &reason);
    // Sound that never arrived, in all this take so far; silence stands in for it.
    void soundLost(qint64 frames);

private:
    struct Take; // what the storage thread keeps of the take
    void queue(const char *data, qint64 bytes, qint64 silentBytes);
    void measure(const char *data, qint64 bytes);
    void drain(Take &take);
    static void write(Take &take, const char *data, qint64 size);

    StorageThread &m_storage;
    std::shared_ptr<SpoolFile> m_spool; // of the take under way
    int m_inFrameBytes = 0;
    std::atomic<bool> m_metering{true};

    mutable std::mutex m_mutex;        // for what follows, and each take's incoming sound
    std::shared_ptr<Take> m_receiving; // the take the capture's sound goes to, if any
    qint64 m_receivedBytes = 0;
    qint64 m_lostFrames = 0;
    PeakMeter m_meter;      // of what came since the last reading
    QByteArray m_unmetered; // the start of a frame split across two deliveries
};
