#pragma once

#include "media/take/Waveform.h"

#include <QDateTime>

class FileSystem;
#include <QString>

#include <memory>
#include <vector>

// A recording that an earlier run left behind: a spool that no running copy holds. It stays
// locked while this object lives, so no other copy can offer or take it meanwhile.
class OrphanTake
{
public:
    // The readable orphans in folder, newest first. Orphans of recordings that were saved and
    // not changed since are removed; spools that cannot be read are left where they are. Each
    // of those leaves a line in the log.
    static std::vector<OrphanTake> findIn(const QString &folder, FileSystem &fileSystem);

    const QString &spoolPath() const { return m_spoolPath; }
    const QDateTime &started() const { return m_started; }
    // The opened file the takes were recorded into; empty for a new recording.
    const QString &filePath() const { return m_filePath; }
    // That file changed or is gone since: the recorded audio comes back alone.
    bool fileChanged() const;
    // The length of the recording that comes back, in milliseconds.
    qint64 lengthMs() const;

    // The recording, which has the spool now; this object is spent afterwards.
    std::unique_ptr<Waveform> recover() { return std::move(m_recording); }
    // Deletes the spool and its journal.
    void remove();

private:
    OrphanTake() = default;
    static OrphanTake take(std::shared_ptr<SpoolFile> spool);

    QString m_spoolPath;
    QString m_filePath;
    QDateTime m_started;
    bool m_saved = false;
    std::unique_ptr<Waveform> m_recording;
};
