#pragma once

#include "core/Result.h"
#include "media/PeakMeter.h"

#include <QByteArray>
#include <QIODevice>

#include <vector>

class Waveform;

// The device captured audio is pushed into: it appends whole frames to the waveform's
// insertion, turning the server's float samples into doubles where the waveform holds those,
// and measures their level on the way.
// Qt calls it on the main thread; it never blocks for longer than one spool write.
class SpoolWriter : public QIODevice
{
    Q_OBJECT

public:
    explicit SpoolWriter(QObject *parent = nullptr);

    // Starts inserting into waveform at frame at.
    Result<> begin(Waveform &waveform, qint64 at);
    // Ends the insertion; everything received so far stays.
    void end();
    bool isCapturing() const { return m_waveform != nullptr; }
    // The frame after the last one captured.
    qint64 position() const;

signals:
    // Writing the captured audio failed (disk full, ...); capture should stop.
    void failed(const QString &reason);
    // The loudest sample of about the last 100 ms, in dBFS, and whether one reached full scale.
    void levelMeasured(double peakDb, bool clipped);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool append(const char *data, qint64 frames);

    Waveform *m_waveform = nullptr;
    qint64 m_start = 0;
    int m_inFrameBytes = 0; // bytes of one frame as the server delivers it
    bool m_broken = false;  // a write failed; drop everything until the next begin
    QByteArray m_partial;   // the start of a frame split across two writes
    std::vector<double> m_doubles;
    PeakMeter m_meter;
};
