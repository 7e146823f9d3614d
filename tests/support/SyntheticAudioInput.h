#pragma once

#include "media/server/AudioInput.h"

#include "media/server/AudioFormat.h"
#include <QByteArray>
#include <QIODevice>
#include <QPointer>

// A capture back end that pushes samples a test hands it through the same sink the sound
// server's audio goes through.
class SyntheticAudioInput : public AudioInput
{
    Q_OBJECT

public:
    using AudioInput::AudioInput;

    void setSource(const QByteArray &) override {}
    Result<> start(const AudioFormat &format, QIODevice *sink) override;
    void stop() override;

    // The reason the next start fails with; empty to let it succeed.
    void failNextStart(const QString &reason) { m_startFailure = reason; }
    // Writes bytes into the running capture, in pieces of at most chunk bytes.
    void push(const QByteArray &bytes, qsizetype chunk = 1764);
    // Ends the running capture the way a lost server does.
    void breakOff(const QString &reason);

    bool isRunning() const { return m_sink != nullptr; }
    AudioFormat format() const { return m_format; }

private:
    QPointer<QIODevice> m_sink;
    AudioFormat m_format;
    QString m_startFailure;
};
