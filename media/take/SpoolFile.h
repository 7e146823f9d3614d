#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "media/take/SpoolHeader.h"
#include "platform/UniqueFd.h"

#include <QElapsedTimer>
#include <QString>

// The file a recording's captured audio goes to, kept so that a crash, a kill or a power cut
// does not take the take with it: a named, owner-only WAV file whose header describes the frames
// written up to its last flush, at most a second ago. Its owner holds an exclusive lock on it for as long as it has it
// open; a spool whose lock is free belongs to nobody any more. Closing a spool keeps the file;
// only remove() deletes it (and the journal beside it).
class SpoolFile
{
public:
    SpoolFile() = default;

    // A new spool in folder (made, owner-only, when missing) for frames in format.
    static Result<SpoolFile> create(const QString &folder, const WaveFormat &format);
    // Takes over an existing spool; fails when another process holds it or it cannot be read.
    static Result<SpoolFile> adopt(const QString &path);

    bool isValid() const { return m_fd.isValid(); }
    const QString &path() const { return m_path; }
    // The journal that says what the recording is made of, beside the spool.
    QString journalPath() const;
    // The frames' layout: rate, channels and sample type (the encoding is the header's own).
    const WaveFormat &format() const { return m_format; }
    qint64 frames() const { return m_frames; }

    // Appends whole frames, all or nothing. The header is brought up to date and the spool goes
    // to the disk itself at least once a second, and before a second's sound is left out. The
    // reason says that the recording stopped, and why.
    Result<> append(const char *data, qint64 frames);
    // Reads up to frames frames from frame at; returns the frames read, fewer when the file
    // holds fewer.
    Result<qint64> read(qint64 at, char *out, qint64 frames) const;
    int fd() const { return m_fd.get(); }
    // Where frame 0 lies in the file.
    qint64 dataOffset() const;
    // The frames written so far, through a descriptor of its own that only reads; it holds no
    // lock and removes nothing.
    Result<SpoolFile> readView() const;
    // Brings the header up to date and puts everything written so far on the disk itself.
    Result<> flush();
    // Deletes the spool and its journal.
    void remove();

    static QString journalPathFor(const QString &spoolPath);

private:
    Result<> writeHeader();

    UniqueFd m_fd;
    QString m_path;
    WaveFormat m_format;
    qint64 m_frames = 0;
    qint64 m_framesInHeader = 0;             // as of the last header written
    qint64 m_headerSize = SpoolHeader::size; // where the sound starts
    QElapsedTimer m_sinceFlush;
};
