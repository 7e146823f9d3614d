#pragma once

#include <QString>
#include <QtGlobal>

// The wave device set-up call: select an input and an output for the open device, and the text
// for an error code. Input 0 and output 0 are the sound server's default input and output.
class WaveDevice
{
public:
    enum Code : quint32 {
        Success = 0,
        NoSuchDevice = 257,
        SoundServerUnreachable = 276,
        NoOutputDevice = 326,
        NoInputDevice = 328,
    };
    static constexpr int ErrorTextLength = 300;

    virtual ~WaveDevice() = default;
    virtual quint32 setInputOutput(qint16 deviceId, quint32 wInput, quint32 wOutput) = 0;
    // At most length characters.
    virtual QString errorText(quint32 code, int length) const = 0;
};
