#pragma once

#include "media/server/WaveDevice.h"

class MediaControl;
class PulseConnection;

// Input 0 and output 0 are the sound server's default source and sink, as the server last
// announced them; they are handed to the media control's open device.
class PulseWaveDevice : public WaveDevice
{
public:
    PulseWaveDevice(MediaControl &mediaControl, PulseConnection &pulse);

    quint32 setInputOutput(qint16 deviceId, quint32 wInput, quint32 wOutput) override;
    QString errorText(quint32 code, int length) const override;

private:
    MediaControl &m_mediaControl;
    PulseConnection &m_pulse;
};
