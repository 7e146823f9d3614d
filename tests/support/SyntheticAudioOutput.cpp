#include "SyntheticAudioOutput.h"

#include "media/server/SoundSource.h"

Result<> SyntheticAudioOutput::start(const AudioFormat &format, SoundSource *source)
{
    m_format = format;
    m_source = source;
    m_played.clear();
    return {};
}

void SyntheticAudioOutput::stop()
{
    m_source = nullptr;
}

qint64 SyntheticAudioOutput::processedUSecs() const
{
    return m_format.durationForBytes(qint32(std::min<qint64>(m_played.size(), INT_MAX)));
}

void SyntheticAudioOutput::pull(qint64 bytes)
{
    if (!m_source)
        return;
    QByteArray chunk(bytes, Qt::Uninitialized);
    const Result<qint64> got = m_source->read(chunk.data(), bytes);
    if (!got.ok()) {
        emit failed(got.reason());
        return;
    }
    m_played += chunk.left(got.value());
    if (got.value() == 0) {
        emit idle();
        emit drained();
    }
}

void SyntheticAudioOutput::breakOff(const QString &reason)
{
    emit failed(reason);
}
