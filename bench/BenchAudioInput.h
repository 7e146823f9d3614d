#pragma once

#include "media/server/AudioInput.h"
#include "media/server/CaptureSink.h"

// A capture back end that lets the benchmark push audio through the capture path as fast as it
// can write it.
class BenchAudioInput : public AudioInput
{
    Q_OBJECT

public:
    using AudioInput::AudioInput;

    void setSource(const QByteArray &) override {}
    Result<> start(const AudioFormat &, CaptureSink *sink) override
    {
        m_sink = sink;
        return {};
    }
    void stop() override { m_sink = nullptr; }

    void push(const char *data, qint64 bytes)
    {
        if (m_sink)
            m_sink->captured(data, bytes);
    }

private:
    CaptureSink *m_sink = nullptr;
};
