#pragma once

#include "core/Result.h"
#include "media/files/SndFile.h"
#include "media/files/WaveFormat.h"
#include "media/files/WaveHeaderCheck.h"
#include "media/take/WavePiece.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class FileSystem;
class SpoolFile;
class StorageThread;
struct TakeJournal;

// The sound the media control holds: a piece table over the opened file, read in place, and
// over the spool of captured audio. Nothing of it is kept in memory but the table. Whenever its
// shape changes, a journal beside the spool says what it is made of, so that it can be put
// together again after a crash. It lives on the window's thread; the spool is written on the
// storage thread, where the journal is replaced too, after the sound it describes is on the disk.
class Waveform
{
public:
    // An empty waveform.
    explicit Waveform(const WaveFormat &format = WaveFormat::newRecording());
    ~Waveform();
    // Opens path in place.
    static Result<std::unique_ptr<Waveform>> open(const QString &path);
    // The recording a spool was left with. With file (the journal's file, opened again and
    // unchanged), the takes come back where they were recorded into it; without, the recorded
    // audio alone. A journal that does not match the spool is passed over for the whole spool.
    static std::unique_ptr<Waveform> recover(std::shared_ptr<SpoolFile> spool,
                                             const TakeJournal *journal,
                                             std::unique_ptr<Waveform> file);

    // Where spools go (the program's state folder unless a test or benchmark says otherwise),
    // the calls that write them, and the thread they are written on (none: each write at once,
    // on the caller's thread).
    void setSpoolFolder(const QString &folder) { m_spoolFolder = folder; }
    QString spoolFolder() const;
    void setStorage(StorageThread *thread, FileSystem *fileSystem);
    FileSystem &fileSystem() const { return *m_fs; }
    // Told, on the storage thread, when the journal cannot be written.
    void onStorageFailure(std::function<void(const QString &reason)> told);

    const WaveFormat &format() const { return m_format; }
    qint64 frames() const;
    // The file this waveform was opened from; empty for a new recording.
    const QString &filePath() const { return m_filePath; }
    // When it was recorded: its first take began, else the opened file was last written.
    QDateTime recorded() const;

    // Reads up to frames frames from start, in the format's sample type; returns the frames
    // read, fewer only past the end. Fails when a file the pieces lie in cannot be read or holds
    // less than it did (another program cut it short). Any thread, while the waveform stays.
    Result<qint64> read(qint64 start, void *out, qint64 frames);

    // The pieces, the one growing with a take as far as it is written.
    std::vector<WavePiece> pieces() const;
    // Where a piece's frames lie, when its source holds them in the waveform's encoding byte
    // for byte (so a save can copy them as they are); offset -1 when it does not.
    struct Source
    {
        int fd = -1;
        qint64 offset = -1; // of the source's frame 0
    };
    Source source(const WavePiece &piece) const;
    // Waits until the spool holds every frame the pieces name; fails when it never will.
    Result<> settle() const;

    // The same sound, read through handles of its own: for a save on another thread while
    // this one goes on playing or recording. It never changes the files.
    Result<std::unique_ptr<Waveform>> readOnlyCopy() const;

    // Starts inserting captured audio at frame at (clamped to the end); the take goes to
    // spool(), in the format's sample type.
    Result<> beginInsert(qint64 at);
    const std::shared_ptr<SpoolFile> &spool() const { return m_spool; }
    // Appends frames to the insertion at once, on this thread; all or nothing.
    Result<> appendInserted(const char *data, qint64 frames);
    // The take's frames written so far.
    qint64 insertedFrames() const;
    // Ends the insertion, which holds takeFrames (by default what is written so far); the
    // journal is replaced once they are on the disk.
    void endInsert(qint64 takeFrames = -1);
    // The spool lost what it held past its last flush: the pieces keep only what it has.
    void keepOnlyDurableSound();

    // Counts the changes to the recording, so that a save can tell whether what it wrote is
    // still the recording once it is done.
    quint64 changes() const { return m_changes; }
    // The recording, unchanged since, has been saved to path: from now on it is that file,
    // when the file reads back as the same frames, and the journal says so.
    void savedAs(const QString &path);
    // The user dropped the recording: its spool and journal go.
    void discard();

private:
    Result<qint64> readPiece(const WavePiece &piece, qint64 offset, char *out, qint64 frames);
    static bool storedAsEncoded(const SF_INFO &info, const WaveHeaderCheck::Layout &layout);
    void store(std::function<void()> job) const;
    void writeJournal();

    WaveFormat m_format;
    SndFile m_file;
    QString m_filePath;
    qint64 m_fileSize = 0;
    qint64 m_fileModifiedMs = 0;
    qint64 m_fileDataOffset = -1; // where its sound data lies, when that is the encoding itself
    bool m_fileDecoded = false;   // a compressed file, read through its decoder
    std::atomic<bool> m_decoderFellShort{false}; // said once in the log
    std::shared_ptr<SpoolFile> m_spool;
    qint64 m_spoolFrames = 0; // the spool's frames once the takes so far are all written
    QString m_spoolFolder;
    StorageThread *m_storage = nullptr;
    FileSystem *m_fs;
    std::function<void(const QString &)> m_storageFailure;
    QDateTime m_started; // when the first take began
    bool m_saved = false;
    quint64 m_changes = 0;
    std::vector<WavePiece> m_pieces; // the growing one as it was when its take began
    qint64 m_frames = 0;             // the growing take's own frames not counted
    qint64 m_insertPiece = -1;       // index of the piece growing with the recording, or -1
    qint64 m_insertStartFrames = 0;  // that piece's length when the insertion began
    qint64 m_insertSpoolStart = 0;   // where in the spool the take begins
};
