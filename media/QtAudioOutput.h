#pragma once

#include "media/AudioOutput.h"
#include "media/StreamWatch.h"

#include <QAudio>
#include <QByteArray>

#include <memory>

class QAudioSink;

// Playback to the sound server through QAudioSink, pulling from a device over the waveform.
// The sink's own buffer size is kept: small ones stall it.
class QtAudioOutput : public AudioOutput
{
    Q_OBJECT

public:
    explicit QtAudioOutput(QObject *parent = nullptr);
    ~QtAudioOutput() override;

    void setSink(const QByteArray &sinkName) override { m_sinkName = sinkName; }
    Result<> start(const QAudioFormat &format, QIODevice *source) override;
    void stop() override;
    qint64 processedUSecs() const override;

private:
    void onStateChanged(QAudio::State state);
    // Why the stream ended by itself.
    QString lossReason() const;

    QByteArray m_sinkName;   // as the device set-up chose it
    QByteArray m_deviceName; // the server's name for the device in use
    StreamWatch m_watch;
    std::unique_ptr<QAudioSink> m_sink;
};
