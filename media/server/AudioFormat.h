#pragma once

#include <QtGlobal>

// What one capture or playback stream carries: rate, channels and sample type, as the sound
// server is asked for them. Interleaved little-endian samples.
class AudioFormat
{
public:
    enum SampleFormat { Unknown, UInt8, Int16, Int32, Float };

    constexpr void setSampleRate(int rate) { m_sampleRate = rate; }
    constexpr int sampleRate() const { return m_sampleRate; }
    constexpr void setChannelCount(int channels) { m_channelCount = channels; }
    constexpr int channelCount() const { return m_channelCount; }
    constexpr void setSampleFormat(SampleFormat format) { m_sampleFormat = format; }
    constexpr SampleFormat sampleFormat() const { return m_sampleFormat; }

    constexpr int bytesPerSample() const
    {
        switch (m_sampleFormat) {
        case UInt8:
            return 1;
        case Int16:
            return 2;
        case Int32:
        case Float:
            return 4;
        case Unknown:
            break;
        }
        return 0;
    }
    constexpr int bytesPerFrame() const { return bytesPerSample() * m_channelCount; }
    constexpr bool isValid() const
    {
        return m_sampleRate > 0 && m_channelCount > 0 && m_sampleFormat != Unknown;
    }
    // Microseconds that bytes of whole frames last.
    constexpr qint64 durationForBytes(qint64 bytes) const
    {
        if (!isValid())
            return 0;
        const qint64 frames = bytes / bytesPerFrame();
        // split to stay clear of overflow
        return frames / m_sampleRate * 1'000'000 + frames % m_sampleRate * 1'000'000 / m_sampleRate;
    }

    friend constexpr bool operator==(const AudioFormat &, const AudioFormat &) = default;

private:
    int m_sampleRate = 0;
    int m_channelCount = 0;
    SampleFormat m_sampleFormat = Unknown;
};
