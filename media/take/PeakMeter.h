#pragma once

#include "media/server/AudioFormat.h"

#include <algorithm>

// The loudest sample of the last stretch of captured sound, in dBFS, and whether one reached
// full scale. Fed whole buffers as the server delivers them, read about ten times a second.
class PeakMeter
{
public:
    struct Reading
    {
        double peakDb = silenceDb; // 0 is full scale
        bool clipped = false;
    };
    // What digital silence reads.
    static constexpr double silenceDb = -200.0;

    void start(const AudioFormat &format);
    // Samples in the format given to start(), possibly unaligned.
    void add(const char *data, qint64 frames);
    // A stretch of about 100 ms is complete.
    bool due() const { return m_frames >= m_framesPerReading; }
    // Any sound came since the last reading.
    bool hasSound() const { return m_frames > 0; }
    // The reading of the stretch so far; the next stretch starts.
    Reading take();

private:
    AudioFormat m_format;
    qint64 m_framesPerReading = 0;
    qint64 m_frames = 0;
    double m_peak = 0; // 0 <= m_peak, 1 is full scale
    bool m_clipped = false;
};
