#pragma once

#include "media/server/AudioOutput.h"

// Stands in for the sound server's output: it plays nothing, and leaves the benchmark to take
// from the source what the server would ask for first.
class BenchAudioOutput : public AudioOutput
{
    Q_OBJECT

public:
    using AudioOutput::AudioOutput;

    void setSink(const QByteArray &) override {}
    Result<> start(const AudioFormat &, SoundSource *source) override
    {
        m_source = source;
        return {};
    }
    void stop() override { m_source = nullptr; }
    qint64 processedUSecs() const override { return 0; }

    SoundSource *source() const { return m_source; }

private:
    SoundSource *m_source = nullptr;
};
