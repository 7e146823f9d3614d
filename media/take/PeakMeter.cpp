#include "media/take/PeakMeter.h"

#include <cmath>
#include <cstring>

namespace {

// A sample this close to full scale is taken as clipped: the loudest a 16-bit sample can be,
// and as close as 24-bit and float samples come to it.
constexpr double clipMagnitude = 32767.0 / 32768.0;

// The largest magnitude of count samples of type T, and whether one sits at full scale. The
// loudest and quietest values are kept apart so the loop stays free of branches.
template<typename T>
void scan(const char *data, qint64 count, double fullScale, double *peak, bool *clipped)
{
    T lowest = 0;
    T highest = 0;
    // Blocks of a fixed length, so that the compiler turns them into vector instructions.
    constexpr qint64 block = 64;
    qint64 i = 0;
    for (; i + block <= count; i += block) {
        T samples[block];
        std::memcpy(samples, data + i * qint64(sizeof(T)), sizeof(samples));
        for (const T sample : samples) {
            lowest = std::min(lowest, sample);
            highest = std::max(highest, sample);
        }
    }
    for (; i < count; ++i) {
        T sample;
        std::memcpy(&sample, data + i * qint64(sizeof(T)), sizeof(T));
        lowest = std::min(lowest, sample);
        highest = std::max(highest, sample);
    }
    const double magnitude = std::max(double(highest), -double(lowest)) / fullScale;
    *peak = std::max(*peak, magnitude);
    if (magnitude >= clipMagnitude)
        *clipped = true;
}

} // namespace

void PeakMeter::start(const AudioFormat &format)
{
    m_format = format;
    m_framesPerReading = std::max(1, format.sampleRate() / 10);
    m_frames = 0;
    m_peak = 0;
    m_clipped = false;
}

void PeakMeter::add(const char *data, qint64 frames)
{
    const qint64 count = frames * m_format.channelCount();
    switch (m_format.sampleFormat()) {
    case AudioFormat::Int16:
        scan<qint16>(data, count, 32768.0, &m_peak, &m_clipped);
        break;
    case AudioFormat::Int32:
        scan<qint32>(data, count, 2147483648.0, &m_peak, &m_clipped);
        break;
    case AudioFormat::Float:
        scan<float>(data, count, 1.0, &m_peak, &m_clipped);
        break;
    default:
        return;
    }
    m_frames += frames;
}

PeakMeter::Reading PeakMeter::take()
{
    Reading reading;
    if (m_peak > 0)
        reading.peakDb = std::max(silenceDb, 20.0 * std::log10(m_peak));
    reading.clipped = m_clipped;
    m_frames = 0;
    m_peak = 0;
    m_clipped = false;
    return reading;
}
