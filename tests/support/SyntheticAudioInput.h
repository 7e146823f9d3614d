#pragma once

#include "media/server/AudioInput.h"

#include "media/server/AudioFormat.h"

#include <QByteArray>

class CaptureSink;

// A capture back end that hands the sink samples a test gives it, the way the sound server's
// audio goes, but on the test's own thread.
class SyntheticAudioInput : public AudioInput
{
    Q_OBJECT

public:
    using AudioInput::AudioInput;

    void setSource(const QByteArray &) override {}
    Result<> start(const AudioFormat &format, CaptureSink *sink) override;
    void stop() override;

    // The reason the next start fails with; empty to let it succeed.
    void failNextStart(const QString &reason) { m_startFailure = reason; }
    // Hands bytes to the running capture, in pieces of at most chunk bytes.
    void push(const QByteArray &bytes, qsizetype chunk = 1764);
    // Tells the running capture that frames of sound never arrived.
    void lose(qint64 frames);
    // Ends the running capture the way a lost server does.
    void breakOff(const QString &reason);

    bool isRunning() const { return m_sink != nullptr; }
    AudioFormat format() const { return m_format; }

private:
    CaptureSink *m_sink = nullptr;
    AudioFormat m_format;
    QString m_startFailure;
};
