#pragma once

#include "media/AudioOutput.h"

#include <QAudio>
#include <QAudioDevice>

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

    void setDevice(const QAudioDevice &device) override;
    Result<> start(const QAudioFormat &format, QIODevice *source) override;
    void stop() override;
    qint64 processedUSecs() const override;

private:
    void onStateChanged(QAudio::State state);

    QAudioDevice m_device;
    std::unique_ptr<QAudioSink> m_sink;
};
