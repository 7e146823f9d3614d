#pragma once

#include <QtGlobal>

// Where a capture hands the sound it receives. Called on the capture's own thread, as the sound
// arrives: it copies and returns, and never waits.
class CaptureSink
{
public:
    virtual ~CaptureSink() = default;
    // Interleaved samples in the capture's format; not always whole frames.
    virtual void captured(const char *data, qint64 bytes) = 0;
    // Frames of sound that never arrived, found missing at this point: silence stands in.
    virtual void lost(qint64 frames) = 0;
};
