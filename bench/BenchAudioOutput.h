#pragma once

#include "media/server/AudioOutput.h"

// The benchmark never plays; this stands in for the sound server's output.
class BenchAudioOutput : public AudioOutput
{
    Q_OBJECT

public:
    using AudioOutput::AudioOutput;

    void setSink(const QByteArray &) override {}
    Result<> start(const AudioFormat &, SoundSource *) override { return {}; }
    void stop() override {}
    qint64 processedUSecs() const override { return 0; }
};
