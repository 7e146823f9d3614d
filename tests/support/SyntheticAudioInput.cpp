#include "SyntheticAudioInput.h"

#include <QIODevice>

Result<> SyntheticAudioInput::start(const AudioFormat &format, QIODevice *sink)
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
        m_sink->write(bytes.constData() + at, std::min(chunk, bytes.size() - at));
}

void SyntheticAudioInput::breakOff(const QString &reason)
{
    emit failed(reason);
}
