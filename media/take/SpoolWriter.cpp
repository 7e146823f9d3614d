#include "media/take/SpoolWriter.h"

#include "media/take/Waveform.h"

#include <cstring>

SpoolWriter::SpoolWriter(QObject *parent)
    : QIODevice(parent)
{}

Result<> SpoolWriter::begin(Waveform &waveform, qint64 at)
{
    end();
    if (Result<> begun = waveform.beginInsert(at); !begun.ok())
        return begun;
    m_waveform = &waveform;
    m_start = std::clamp<qint64>(at, 0, waveform.frames());
    m_inFrameBytes = waveform.format().audioFormat().bytesPerFrame();
    m_broken = false;
    m_partial.clear();
    m_meter.start(waveform.format().audioFormat());
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    return {};
}

void SpoolWriter::end()
{
    if (!m_waveform)
        return;
    m_waveform->endInsert();
    m_waveform = nullptr;
    m_partial.clear();
    close();
}

qint64 SpoolWriter::position() const
{
    return m_waveform ? m_start + m_waveform->insertedFrames() : 0;
}

qint64 SpoolWriter::readData(char *, qint64)
{
    return -1;
}

qint64 SpoolWriter::writeData(const char *data, qint64 size)
{
    if (!m_waveform || m_broken || size <= 0)
        return size;
    qint64 used = 0;
    if (!m_partial.isEmpty()) {
        used = std::min<qint64>(size, m_inFrameBytes - m_partial.size());
        m_partial.append(data, used);
        if (m_partial.size() < m_inFrameBytes)
            return size;
        if (!append(m_partial.constData(), 1))
            return size;
        m_partial.clear();
    }
    const qint64 frames = (size - used) / m_inFrameBytes;
    if (frames > 0 && !append(data + used, frames))
        return size;
    used += frames * m_inFrameBytes;
    m_partial.append(data + used, size - used);
    return size;
}

bool SpoolWriter::append(const char *data, qint64 frames)
{
    m_meter.add(data, frames);
    if (m_meter.due()) {
        const PeakMeter::Reading reading = m_meter.take();
        emit levelMeasured(reading.peakDb, reading.clipped);
    }
    const char *samples = data;
    if (m_waveform->format().sampleType() == SampleType::Double) {
        const qint64 count = frames * m_waveform->format().channels();
        m_doubles.resize(std::size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            float sample; // the server's bytes need not be aligned
            std::memcpy(&sample, data + i * qint64(sizeof sample), sizeof sample);
            m_doubles[std::size_t(i)] = sample;
        }
        samples = reinterpret_cast<const char *>(m_doubles.data());
    }
    const Result<> appended = m_waveform->appendInserted(samples, frames);
    if (appended.ok())
        return true;
    m_broken = true;
    const QString reason = appended.reason();
    // the source is still inside its write: let it return before capture is torn down
    QMetaObject::invokeMethod(
            this, [this, reason] { emit failed(reason); }, Qt::QueuedConnection);
    return false;
}
