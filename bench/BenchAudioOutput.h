#pragma once

#include "media/server/AudioOutput.h"

#include <QIODevice>
#include <QPointer>

// Stands in for the sound server's output: it plays nothing, and leaves the benchmark to take
// from the source what the server would ask for first.
class BenchAudioOutput : public AudioOutput
{
    Q_OBJECT

public:
    using AudioOutput::AudioOutput;

    void setSink(const QByteArray &) override {}
    Result<> start(const AudioFormat &, QIODevice *source) override
    {
        m_source = source;
        return {};
    }
    void stop() override { m_source = nullptr; }
    qint64 processedUSecs() const override { return 0; }

    QIODevice *source() const { return m_source; }

private:
    QPointer<QIODevice> m_source;
};
