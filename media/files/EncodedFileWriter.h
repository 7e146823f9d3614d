#pragma once

#include "core/Result.h"
#include "media/files/SaveFormat.h"
#include "media/files/SndFile.h"
#include "media/files/WaveSaver.h"

#include <vector>

class Resampler;
class Waveform;

// Writes a waveform into an open file in one of the compressed formats, through libsndfile's
// encoders: the tags first (the software and the date the recording was made), then the sound
// in blocks (at the rate the encoder takes, through a resampler where the waveform's is not),
// and then reads the file back to see that it holds every frame. The caller owns the file:
// where it lies, how it is flushed and renamed, and what is left of it after a failure.
class EncodedFileWriter
{
public:
    static Result<> write(Waveform &waveform,
                          int fd,
                          const SaveFormat &format,
                          WaveSaver::Progress *progress);

private:
    EncodedFileWriter(Waveform &waveform, const SaveFormat &format, WaveSaver::Progress *progress);

    Result<> open(int fd);
    Result<> writeSound();
    Result<> writeBlock(const char *samples, qint64 frames);
    Result<> writeFloats(const float *samples, qint64 frames);
    Result<> finish();
    Result<> checkWritten(int fd) const;
    Failure writeFailed() const;

    Waveform &m_waveform;
    const SaveFormat &m_format;
    WaveSaver::Progress *m_progress;
    int m_rate;
    SndFile m_out;
    std::unique_ptr<Resampler> m_resampler; // when the encoder takes another rate
    std::vector<float> m_floats;
    qint64 m_written = 0; // frames given to the encoder
};
