#pragma once

#include "core/Result.h"
#include "media/files/WaveFormat.h"
#include "media/take/WaveformReader.h"

#include <QObject>
#include <QTimer>

class AudioOutput;
class Waveform;

// Plays a waveform from a frame to its end and reports the end only once the last frame has
// been heard: the output drains what it holds before it says so. An output that never says
// its source ran dry is looked at by its clock once the sound's own length has passed.
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
    void finish();
    void onFailed(const QString &reason);
    qint64 unheardMs() const;

    AudioOutput &m_output;
    WaveformReader m_reader;
    WaveFormat m_format;
    qint64 m_end = 0;
    bool m_playing = false;
    bool m_draining = false; // the output has everything and drains it
    QTimer m_pollTimer;
    QTimer m_drainLimit; // a drain the output never confirms ends here
};
