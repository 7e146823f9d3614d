#pragma once

#include "core/Result.h"

#include <QObject>
#include <QString>

class QByteArray;
class AudioFormat;
class QIODevice;

// Where captured sound comes from: the sound server, or a test's synthetic input.
class AudioInput : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The sound server's name of the source later captures use (a monitor of an output
    // included); empty means the server's default at the time of the capture.
    virtual void setSource(const QByteArray &sourceName) = 0;
    // Starts writing captured audio in format to sink (open for writing).
    virtual Result<> start(const AudioFormat &format, QIODevice *sink) = 0;
    virtual void stop() = 0;

signals:
    // The capture ended by itself: the server went away or the device was lost.
    void failed(const QString &reason);
};
