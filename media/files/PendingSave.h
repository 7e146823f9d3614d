#pragma once

#include "core/Result.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>

class FileSystem;

// The temporary file a save writes before it is renamed over its target: hidden beside the
// target (".<name>.tapewren-XXXXXX"), locked while this object lives, and noted in the state
// folder, so that one a crash leaves behind is found and removed at the next start. Unless it
// was committed, the file and its note go with this object.
class PendingSave
{
public:
    // A new temporary file for target, noted in stateFolder.
    static Result<PendingSave> begin(const QString &target,
                                     const QString &stateFolder,
                                     FileSystem &fileSystem);
    // Removes what saves of earlier runs left behind, as far as no running copy holds it.
    static void removeLeftovers(const QString &stateFolder);

    PendingSave(PendingSave &&other) noexcept;
    PendingSave &operator=(PendingSave &&other) = delete;
    ~PendingSave();

    int fd() const { return m_fd.get(); }
    // Puts what was written on the disk itself.
    Result<> flush();
    // Puts the flushed file in the target's place, then flushes the folder.
    Result<> commit();

private:
    explicit PendingSave(FileSystem &fileSystem);
    void discard();

    FileSystem *m_fs;
    UniqueFd m_fd;
    QByteArray m_temp;   // the file's path
    QByteArray m_target; // what it becomes
    QByteArray m_note;   // its note in the state folder
};
