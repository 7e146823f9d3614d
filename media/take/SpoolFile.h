#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "platform/UniqueFd.h"

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class FileSystem;

// The file a recording's captured audio goes to, kept so that a crash, a kill or a power cut
// does not take the take with it: a named, owner-only WAV file whose header describes the frames
// written up to its last flush, at most a second ago. Its owner holds an exclusive lock on it
// for as long as it has it open; a spool whose lock is free belongs to nobody any more.
//
// One thread writes it (append, flush) while others read what is written: a read of frames
// still to be written waits for them. A write or flush that fails is final: the spool keeps
// what its last flush put on the disk and takes nothing more. Closing a spool keeps the file;
// only remove() deletes it (and the journal beside it).
class SpoolFile
{
public:
    // A new spool in folder (made, owner-only, when missing) for frames in format.
    static Result<std::shared_ptr<SpoolFile>> create(const QString &folder,
                                                     const WaveFormat &format,
                                                     FileSystem &fileSystem);
    // Takes over an existing spool; fails when another process holds it or it cannot be read.
    static Result<std::shared_ptr<SpoolFile>> adopt(const QString &path, FileSystem &fileSystem);

    SpoolFile(const SpoolFile &) = delete;
    SpoolFile &operator=(const SpoolFile &) = delete;

    const QString &path() const { return m_path; }
    // The journal that says what the recording is made of, beside the spool.
    QString journalPath() const;
    // The frames' layout: rate, channels and sample type (the encoding is the header's own).
    const WaveFormat &format() const { return m_format; }
    int fd() const { return m_fd.get(); }
    // Where frame 0 lies in the file.
    qint64 dataOffset() const;
    // Frames written so far, and those the disk itself holds.
    qint64 frames() const { return m_frames.load(); }
    qint64 durableFrames() const { return m_durable.load(); }
    bool hasFailed() const { return m_failed.load(); }

    // Appends whole frames, all or nothing. The header is brought up to date and the spool goes
    // to the disk itself at least once a second, and before a second's sound is left out. The
    // reason says that the recording stopped, and why.
    Result<> append(const char *data, qint64 frames);
    // Brings the header up to date and puts everything written so far on the disk itself.
    Result<> flush();
    // Reads up to frames frames from frame at, waiting for those still to be written; returns
    // the frames read, fewer when the file holds fewer or the writing failed.
    Result<qint64> read(qint64 at, char *out, qint64 frames) const;
    // Waits until frames frames are written; false when the writing failed before.
    bool waitFor(qint64 frames) const;
    // On the writing thread: takes nothing more, keeping what the last flush put on the disk.
    void abandon();
    // Deletes the spool and its journal; the descriptor stays open for whoever still reads.
    void remove();

    static QString journalPathFor(const QString &spoolPath);

private:
    explicit SpoolFile(FileSystem &fileSystem);
    Result<> writeHeader();
    Failure fail(int errorNumber);

    FileSystem &m_fs;
    UniqueFd m_fd;
    QString m_path;
    WaveFormat m_format;
    std::atomic<qint64> m_frames{0};
    std::atomic<qint64> m_durable{0};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_mutex; // for the readers' wait
    mutable std::condition_variable m_written;
    qint64 m_framesInHeader = 0; // as of the last header written
    QElapsedTimer m_sinceFlush;
};
