#include "SyntheticAudioInput.h"

#include "media/server/CaptureSink.h"

Result<> SyntheticAudioInput::start(const AudioFormat &format, CaptureSink *sink)
{
    if (!m_startFailure.isEmpty())
        return Failure(std::exchange(m_startFailure, QString()));
    m_format = format;
    m_sink = sink;
    return {};
}

void SyntheticAudioInput::stop()
{
    m_sink = nullptr;
}

void SyntheticAudioInput::push(const QByteArray &bytes, qsizetype chunk)
{
    for (qsizetype at = 0; m_sink && at < bytes.size(); at += chunk)
        m_sink->captured(bytes.constData() + at, std::min(chunk, bytes.size() - at));
}

void SyntheticAudioInput::lose(qint64 frames)
{
    if (m_sink)
        m_sink->lost(frames);
}

void SyntheticAudioInput::breakOff(const QString &reason)
{
    emit failed(reason);
}
