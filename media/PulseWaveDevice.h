#pragma once

#include "media/WaveDevice.h"

class MediaControl;

// Input 0 and output 0 are the sound server's default source and sink, as the server reports them
// now; they are handed to the media control's open device.
class PulseWaveDevice : public WaveDevice
{
public:
    explicit PulseWaveDevice(MediaControl &mediaControl);

    quint32 setInputOutput(qint16 deviceId, quint32 wInput, quint32 wOutput) override;
    QString errorText(quint32 code, int length) const override;

private:
    MediaControl &m_mediaControl;
};
