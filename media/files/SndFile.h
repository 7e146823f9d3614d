#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "platform/UniqueFd.h"

#include <QString>

#include <sndfile.h>

#include <memory>

// One open libsndfile handle, closed when it goes. Reads and writes samples of the waveform's
// sample type through the matching libsndfile path.
class SndFile
{
public:
    SndFile() = default;

    // Reads the file open on fd from its start.
    static Result<SndFile> openRead(UniqueFd fd);
    // Writes to fd (which stays open) in format.
    static Result<SndFile> openWrite(int fd, const WaveFormat &format);

    bool isOpen() const { return m_file != nullptr; }
    // The descriptor of a file opened for reading.
    int fd() const { return m_ownFd.get(); }
    const SF_INFO &info() const { return m_info; }
    WaveFormat format() const;

    // Reads up to frames frames from frame start into out; returns the frames read, fewer only
    // at the file's end. Fails when the file cannot be read there.
    Result<qint64> read(qint64 start, SampleType type, void *out, qint64 frames);
    qint64 write(SampleType type, const void *in, qint64 frames);
    QString errorText() const;
    // Finishes the file (header included); false when that failed.
    bool close();

    // A text of the file's own tags (SF_STR_*), set before the first write.
    bool setText(int type, const QString &text);
    // A libsndfile command taking a double or an int (SFC_*); false when it was refused.
    bool command(int command, double value);
    bool command(int command, int value);

private:
    Failure readFailure() const;

    struct Closer
    {
        void operator()(SNDFILE *file) const { sf_close(file); }
    };

    UniqueFd m_ownFd; // the descriptor of a file opened for reading; outlives m_file
    std::unique_ptr<SNDFILE, Closer> m_file;
    SF_INFO m_info{};
    qint64 m_nextFrame = -1; // where a read continues without seeking; -1 unknown
};
