#include "media/take/WaveformReader.h"

#include "media/take/Waveform.h"

#include <cstring>

void WaveformReader::begin(Waveform &waveform, qint64 start)
{
    m_waveform = &waveform;
    m_start = m_next = std::clamp<qint64>(start, 0, waveform.frames());
    m_outFrameBytes = waveform.format().audioFormat().bytesPerFrame();
}

void WaveformReader::end()
{
    m_waveform = nullptr;
}

Result<qint64> WaveformReader::read(char *data, qint64 maxBytes)
{
    if (!m_waveform)
        return qint64(0);
    const qint64 frames = std::min(maxBytes / m_outFrameBytes, m_waveform->frames() - m_next);
    if (frames <= 0)
        return qint64(0);
    Result<qint64> got = qint64(0);
    if (m_waveform->format().sampleType() == SampleType::Double) {
        const int channels = m_waveform->format().channels();
        m_doubles.resize(std::size_t(frames * channels));
        got = m_waveform->read(m_next, m_doubles.data(), frames);
        for (qint64 i = 0; got.ok() && i < got.value() * channels; ++i) {
            const float sample = float(m_doubles[std::size_t(i)]);
            std::memcpy(data + i * qint64(sizeof sample), &sample, sizeof sample);
        }
    } else {
        got = m_waveform->read(m_next, data, frames);
    }
    if (!got.ok())
        return got;
    m_next += got.value();
    return got.value() * m_outFrameBytes;
}
