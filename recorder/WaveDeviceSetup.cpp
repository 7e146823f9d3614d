#include "recorder/WaveDeviceSetup.h"

#include "media/MediaControl.h"
#include "media/server/WaveDevice.h"
#include "platform/MessageBox.h"
#include "recorder/StatusTexts.h"

WaveDeviceSetup::WaveDeviceSetup(WaveDevice &waveDevice, MessageBox &messageBox)
    : m_waveDevice(waveDevice)
    , m_messageBox(messageBox)
{}

void WaveDeviceSetup::run(const MediaControl &MMCRecord)
{
    constexpr quint32 wInput = 0;
    constexpr quint32 wOutput = 0;
    const qint16 deviceId = MMCRecord.DeviceID();
    const quint32 code = m_waveDevice.setInputOutput(deviceId, wInput, wOutput);
    if (code == WaveDevice::Success)
        return;
    const QString text = m_waveDevice.errorText(code, WaveDevice::ErrorTextLength);
    m_messageBox.show(text,
                      MessageBox::OkOnly + MessageBox::Information,
                      StatusTexts::MessageTitle);
}
