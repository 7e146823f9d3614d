#include "media/take/WaveformReader.h"

#include "media/take/Waveform.h"

#include <cstring>

WaveformReader::WaveformReader(QObject *parent)
    : QIODevice(parent)
{}

void WaveformReader::begin(Waveform &waveform, qint64 start)
{
    end();
    m_waveform = &waveform;
    m_start = m_next = std::clamp<qint64>(start, 0, waveform.frames());
    m_outFrameBytes = waveform.format().audioFormat().bytesPerFrame();
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void WaveformReader::end()
{
    if (!m_waveform)
        return;
    m_waveform = nullptr;
    close();
}

qint64 WaveformReader::bytesAvailable() const
{
    const qint64 left = m_waveform ? m_waveform->frames() - m_next : 0;
    return left * m_outFrameBytes + QIODevice::bytesAvailable();
}

qint64 WaveformReader::readData(char *data, qint64 maxSize)
{
    if (!m_waveform)
        return -1;
    const qint64 frames = std::min(maxSize / m_outFrameBytes, m_waveform->frames() - m_next);
    if (frames <= 0)
        return 0;
    qint64 got = 0;
    if (m_waveform->format().sampleType() == SampleType::Double) {
        const int channels = m_waveform->format().channels();
        m_doubles.resize(std::size_t(frames * channels));
        got = m_waveform->read(m_next, m_doubles.data(), frames);
        for (qint64 i = 0; i < got * channels; ++i) {
            const float sample = float(m_doubles[std::size_t(i)]);
            std::memcpy(data + i * qint64(sizeof sample), &sample, sizeof sample);
        }
    } else {
        got = m_waveform->read(m_next, data, frames);
    }
    m_next += got;
    return got * m_outFrameBytes;
}

qint64 WaveformReader::writeData(const char *, qint64)
{
    return -1;
}
