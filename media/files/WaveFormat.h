#pragma once

#include "media/server/AudioFormat.h"
#include <QtGlobal>

// How samples are held between the file, the spool, the capture and the playback. Integer
// encodings go through libsndfile's integer paths and floating ones through its float paths,
// so every sample survives a round trip unchanged.
enum class SampleType { Int16, Int32, Float, Double };

// The format of a waveform: its rate, channels and libsndfile format (container | encoding).
class WaveFormat
{
public:
    WaveFormat() = default;
    WaveFormat(int sampleRate, int channels, int sndfileFormat);

    // 44 100 Hz, 16-bit PCM, stereo.
    static WaveFormat newRecording();

    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }
    int sndfileFormat() const { return m_sndfileFormat; }
    int encoding() const;

    SampleType sampleType() const;
    int bytesPerSample() const;
    int bytesPerFrame() const { return bytesPerSample() * m_channels; }

    // What the sound server delivers and takes for this waveform.
    AudioFormat audioFormat() const;

    qint64 framesToMs(qint64 frames) const;
    qint64 usToFrames(qint64 us) const;
    // Bytes of encoded sound data for frames; an upper bound for compressed encodings.
    qint64 encodedBytes(qint64 frames) const;

private:
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_sndfileFormat = 0;
};
