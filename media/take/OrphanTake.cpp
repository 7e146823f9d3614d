#include "media/take/OrphanTake.h"

#include "media/MediaLog.h"
#include "media/take/SpoolFile.h"
#include "media/take/TakeJournal.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

// The file as the journal saw it: same size and modification time.
bool unchanged(const TakeJournal &journal)
{
    const QFileInfo file(journal.filePath);
    return file.isFile() && file.size() == journal.fileSize
           && file.lastModified().toMSecsSinceEpoch() == journal.fileModifiedMs;
}

} // namespace

bool OrphanTake::fileChanged() const
{
    return !m_filePath.isEmpty() && m_recording && m_recording->filePath().isEmpty();
}

qint64 OrphanTake::lengthMs() const
{
    return m_recording ? m_recording->format().framesToMs(m_recording->frames()) : 0;
}

void OrphanTake::remove()
{
    if (m_recording)
        m_recording->discard();
    m_recording.reset();
}

OrphanTake OrphanTake::take(std::shared_ptr<SpoolFile> spool)
{
    OrphanTake orphan;
    orphan.m_spoolPath = spool->path();
    std::optional<TakeJournal> journal;
    if (Result<TakeJournal> read = TakeJournal::read(spool->journalPath()); read.ok())
        journal = std::move(read.value());
    else
        qCInfo(lcMedia) << "no usable journal beside" << spool->path() << "; all of it comes back";

    std::unique_ptr<Waveform> file;
    if (journal && !journal->filePath.isEmpty()) {
        orphan.m_filePath = journal->filePath;
        if (unchanged(*journal)) {
            if (Result<std::unique_ptr<Waveform>> opened = Waveform::open(journal->filePath);
                opened.ok())
                file = std::move(opened.value());
        }
    }
    orphan.m_saved = journal && journal->saved;
    orphan.m_started = journal && journal->started.isValid()
                               ? journal->started
                               : QFileInfo(orphan.m_spoolPath).lastModified();
    orphan.m_recording = Waveform::recover(std::move(spool),
                                           journal ? &*journal : nullptr,
                                           std::move(file));
    return orphan;
}

std::vector<OrphanTake> OrphanTake::findIn(const QString &folder, FileSystem &fileSystem)
{
    std::vector<OrphanTake> orphans;
    const QFileInfoList spools = QDir(folder).entryInfoList({QStringLiteral("take-*.wav")},
                                                            QDir::Files | QDir::Hidden);
    for (const QFileInfo &spoolFile : spools) {
        Result<std::shared_ptr<SpoolFile>> spool = SpoolFile::adopt(spoolFile.absoluteFilePath(),
                                                                    fileSystem);
        if (!spool.ok()) {
            qCInfo(lcMedia).noquote()
                    << "left alone:" << spoolFile.absoluteFilePath() << "-" << spool.reason();
            continue;
        }
        orphans.push_back(take(std::move(spool.value())));
        if (orphans.back().m_saved) {
            qCInfo(lcMedia) << "removed the spool of a saved recording:" << spoolFile.filePath();
            orphans.back().remove();
            orphans.pop_back();
        }
    }
    std::sort(orphans.begin(), orphans.end(), [](const OrphanTake &a, const OrphanTake &b) {
        return a.m_started > b.m_started;
    });
    return orphans;
}
