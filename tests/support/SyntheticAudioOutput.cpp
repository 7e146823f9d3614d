#include "SyntheticAudioOutput.h"

#include <QIODevice>

Result<> SyntheticAudioOutput::start(const AudioFormat &format, QIODevice *source)
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
    const QByteArray chunk = m_source->read(bytes);
    m_played += chunk;
    if (chunk.isEmpty())
        emit idle();
}

void SyntheticAudioOutput::breakOff(const QString &reason)
{
    emit failed(reason);
}
