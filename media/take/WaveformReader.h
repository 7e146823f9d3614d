#pragma once

#include "media/server/SoundSource.h"

#include <atomic>
#include <vector>

class Waveform;

// What playback pulls from: the waveform's frames from a start frame to the end, in the format
// the sink plays (doubles handed over as floats). Read on the sound server's thread.
class WaveformReader : public SoundSource
{
public:
    void begin(Waveform &waveform, qint64 start);
    void end();
    // Frames handed to the sink so far.
    qint64 framesRead() const { return m_next - m_start; }
    qint64 startFrame() const { return m_start; }

    Result<qint64> read(char *data, qint64 maxBytes) override;

private:
    Waveform *m_waveform = nullptr;
    qint64 m_start = 0;
    std::atomic<qint64> m_next{0}; // read on the sound server's thread, looked at on others
    int m_outFrameBytes = 0;
    std::vector<double> m_doubles;
};
