#pragma once

#include "core/Result.h"

#include <QObject>
#include <QString>

class QByteArray;
class AudioFormat;
class SoundSource;

// Where played sound goes: the sound server, or a test's synthetic output.
class AudioOutput : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The sound server's name of the sink later playbacks use; empty means the default at the
    // time of each start.
    virtual void setSink(const QByteArray &sinkName) = 0;
    // Starts pulling audio in format from source.
    virtual Result<> start(const AudioFormat &format, SoundSource *source) = 0;
    virtual void stop() = 0;
    // Microseconds of audio played since start.
    virtual qint64 processedUSecs() const = 0;

signals:
    // The source ran dry; what is still buffered has yet to be heard, and drained() follows
    // once it has been.
    void idle();
    // Every frame the source gave has been played.
    void drained();
    // The playback ended by itself: the server went away, the device was lost, or the source
    // could no longer be read.
    void failed(const QString &reason);
};
