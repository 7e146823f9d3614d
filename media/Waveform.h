#pragma once

#include "core/Result.h"
#include "media/SndFile.h"
#include "media/SpoolFile.h"
#include "media/WaveFormat.h"

#include <QString>

#include <memory>
#include <vector>

// The sound the media control holds: a piece table over the opened file, read in place, and
// over the spool of captured audio. Nothing of it is kept in memory but the table.
class Waveform
{
public:
    // An empty waveform.
    explicit Waveform(const WaveFormat &format = WaveFormat::newRecording());
    // Opens path in place.
    static Result<std::unique_ptr<Waveform>> open(const QString &path);

    const WaveFormat &format() const { return m_format; }
    qint64 frames() const { return m_frames; }

    // Reads up to frames frames from start, in the format's sample type; returns the frames read.
    qint64 read(qint64 start, void *out, qint64 frames);

    // Starts inserting captured audio at frame at (clamped to the end).
    Result<> beginInsert(qint64 at);
    // Appends frames (in the format's sample type) to the insertion; all or nothing. The reason
    // says that the recording stopped, and why.
    Result<> appendInserted(const char *data, qint64 frames);
    qint64 insertedFrames() const;
    void endInsert();

    // Where spools go; the temporary folder unless a test or benchmark says otherwise.
    void setSpoolFolder(const QString &folder) { m_spoolFolder = folder; }

private:
    struct Piece
    {
        enum Source { File, Spool };
        Source source;
        qint64 start; // first frame in its source
        qint64 frames;
    };

    qint64 readPiece(const Piece &piece, qint64 offset, char *out, qint64 frames);

    WaveFormat m_format;
    SndFile m_file;
    SpoolFile m_spool;
    QString m_spoolFolder;
    std::vector<Piece> m_pieces;
    qint64 m_frames = 0;
    qint64 m_spoolFrames = 0;
    qint64 m_insertPiece = -1;      // index of the piece growing with the recording, or -1
    qint64 m_insertStartFrames = 0; // that piece's length when the insertion began
};
