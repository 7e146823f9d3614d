#pragma once

class MediaControl;
class MessageBox;
class WaveDevice;

// Selects input 0 and output 0 on the device a new recording has just opened. A refusal is shown
// once, in the platform's words, and is no error: the caller goes on.
class WaveDeviceSetup
{
public:
    WaveDeviceSetup(WaveDevice &waveDevice, MessageBox &messageBox);

    // Raises when the device identifier cannot be read; the set call is then not made.
    void run(const MediaControl &MMCRecord);

private:
    WaveDevice &m_waveDevice;
    MessageBox &m_messageBox;
};
