#pragma once

#include "core/Result.h"

#include <QObject>
#include <QString>

class QByteArray;
class AudioFormat;
class CaptureSink;

// Where captured sound comes from: the sound server, or a test's synthetic input.
class AudioInput : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The sound server's name of the source later captures use (a monitor of an output
    // included); empty means the server's default at the time of the capture.
    virtual void setSource(const QByteArray &sourceName) = 0;
    // Starts handing captured audio in format to sink.
    virtual Result<> start(const AudioFormat &format, CaptureSink *sink) = 0;
    // Hands over what was captured up to now, then stops; the sink hears nothing more after.
    virtual void stop() = 0;
    // Large pieces (about a second) wake the program least; small ones (a tenth) keep a level
    // meter moving. For a capture running now and those started later.
    virtual void setLargePieces(bool large) { Q_UNUSED(large); }

signals:
    // The capture ended by itself: the server went away or the device was lost.
    void failed(const QString &reason);
};
