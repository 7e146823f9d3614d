#pragma once

#include "core/Result.h"
#include "media/files/SndFile.h"
#include "media/files/WaveFormat.h"
#include "media/files/WaveHeaderCheck.h"
#include "media/take/SpoolFile.h"
#include "media/take/WavePiece.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

struct TakeJournal;

// The sound the media control holds: a piece table over the opened file, read in place, and
// over the spool of captured audio. Nothing of it is kept in memory but the table. Whenever its
// shape changes, a journal beside the spool says what it is made of, so that it can be put
// together again after a crash.
class Waveform
{
public:
    // An empty waveform.
    explicit Waveform(const WaveFormat &format = WaveFormat::newRecording());
    // Opens path in place.
    static Result<std::unique_ptr<Waveform>> open(const QString &path);
    // The recording a spool was left with. With file (the journal's file, opened again and
    // unchanged), the takes come back where they were recorded into it; without, the recorded
    // audio alone. A journal that does not match the spool is passed over for the whole spool.
    static std::unique_ptr<Waveform> recover(SpoolFile spool,
                                             const TakeJournal *journal,
                                             std::unique_ptr<Waveform> file);

    const WaveFormat &format() const { return m_format; }
    qint64 frames() const { return m_frames; }
    // The file this waveform was opened from; empty for a new recording.
    const QString &filePath() const { return m_filePath; }
    // When it was recorded: its first take began, else the opened file was last written.
    QDateTime recorded() const;

    // Reads up to frames frames from start, in the format's sample type; returns the frames read.
    qint64 read(qint64 start, void *out, qint64 frames);

    const std::vector<WavePiece> &pieces() const { return m_pieces; }
    // Where a piece's frames lie, when its source holds them in the waveform's encoding byte
    // for byte (so a save can copy them as they are); offset -1 when it does not.
    struct Source
    {
        int fd = -1;
        qint64 offset = -1; // of the source's frame 0
    };
    Source source(const WavePiece &piece) const;

    // The same sound, read through handles of its own: for a save on another thread while
    // this one goes on playing or recording. It never changes the files.
    Result<std::unique_ptr<Waveform>> readOnlyCopy() const;

    // Starts inserting captured audio at frame at (clamped to the end).
    Result<> beginInsert(qint64 at);
    // Appends frames (in the format's sample type) to the insertion; all or nothing. The reason
    // says that the recording stopped, and why.
    Result<> appendInserted(const char *data, qint64 frames);
    qint64 insertedFrames() const;
    // Ends the insertion and puts the spool and the journal on disk.
    void endInsert();

    // Puts the captured audio written so far on the disk itself.
    Result<> flushSpool();
    // Records in the journal that the recording is saved as it stands.
    void markSaved();
    // The user dropped the recording: its spool and journal go.
    void discard();

    // Where spools go; the program's state folder unless a test or benchmark says otherwise.
    void setSpoolFolder(const QString &folder) { m_spoolFolder = folder; }

private:
    qint64 readPiece(const WavePiece &piece, qint64 offset, char *out, qint64 frames);
    static bool storedAsEncoded(const SF_INFO &info, const WaveHeaderCheck::Layout &layout);
    void writeJournal();

    WaveFormat m_format;
    SndFile m_file;
    QString m_filePath;
    qint64 m_fileSize = 0;
    qint64 m_fileModifiedMs = 0;
    qint64 m_fileDataOffset = -1;    // where its sound data lies, when that is the encoding itself
    bool m_fileDecoded = false;      // a compressed file, read through its decoder
    bool m_decoderFellShort = false; // said once in the log
    SpoolFile m_spool;
    QString m_spoolFolder;
    QDateTime m_started; // when the first take began
    bool m_saved = false;
    std::vector<WavePiece> m_pieces;
    qint64 m_frames = 0;
    qint64 m_insertPiece = -1;      // index of the piece growing with the recording, or -1
    qint64 m_insertStartFrames = 0; // that piece's length when the insertion began
};
