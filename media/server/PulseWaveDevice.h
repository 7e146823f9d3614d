#pragma once

#include "core/Result.h"
#include "media/server/PulseServerInfo.h"
#include "media/server/WaveDevice.h"

#include <QElapsedTimer>

#include <future>

class MediaControl;

// Input 0 and output 0 are the sound server's default source and sink, as the server reports them
// now; they are handed to the media control's open device.
class PulseWaveDevice : public WaveDevice
{
public:
    explicit PulseWaveDevice(MediaControl &mediaControl);
    ~PulseWaveDevice() override;

    // Starts asking the server on a thread of its own, for a set-up that follows within moments:
    // at start-up the answer then comes in while the window is being built.
    void prefetch();

    quint32 setInputOutput(qint16 deviceId, quint32 wInput, quint32 wOutput) override;
    QString errorText(quint32 code, int length) const override;

private:
    Result<PulseServerInfo> askServer();

    MediaControl &m_mediaControl;
    std::future<Result<PulseServerInfo>> m_prefetched;
    QElapsedTimer m_prefetchedSince;
};
