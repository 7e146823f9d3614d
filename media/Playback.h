#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "media/take/WaveformReader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class AudioOutput;
class Waveform;

// Plays a waveform from a frame to its end and reports the end only once the last frame has
// been heard: a sink turns idle while its buffer still holds sound, and stopping it then would
// cut the tail.
class Playback : public QObject
{
    Q_OBJECT

public:
    explicit Playback(AudioOutput &output, QObject *parent = nullptr);
    ~Playback() override;

    Result<> start(Waveform &waveform, qint64 startFrame);
    void stop();
    bool isPlaying() const { return m_playing; }
    // The frame being heard now; reaches the end frame only when playback has finished.
    qint64 position() const;

signals:
    void finished();
    void failed(const QString &reason);

private:
    void onSourceDry();
    void poll();
    void onFailed(const QString &reason);

    AudioOutput &m_output;
    WaveformReader m_device;
    WaveFormat m_format;
    qint64 m_end = 0;
    bool m_playing = false;
    QTimer m_pollTimer;
    QElapsedTimer m_drainClock; // runs once every frame has been handed to the sink
    qint64 m_drainLimitMs = 0;  // what the sink held then, and some slack
};
