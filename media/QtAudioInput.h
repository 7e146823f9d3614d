#pragma once

#include "media/AudioInput.h"

#include <QAudio>
#include <QAudioDevice>

#include <memory>

class QAudioSource;

// Capture from the sound server through QAudioSource, in push mode with a small buffer so the
// first frames arrive quickly.
class QtAudioInput : public AudioInput
{
    Q_OBJECT

public:
    explicit QtAudioInput(QObject *parent = nullptr);
    ~QtAudioInput() override;

    void setDevice(const QAudioDevice &device) override;
    Result<> start(const QAudioFormat &format, QIODevice *sink) override;
    void stop() override;

private:
    void onStateChanged(QAudio::State state);

    QAudioDevice m_device;
    std::unique_ptr<QAudioSource> m_source;
};
