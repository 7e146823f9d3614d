#pragma once

#include <QIODevice>

#include <vector>

class Waveform;

// The device the sink pulls from: the waveform's frames from a start frame to the end, in the
// format the sink plays (doubles handed over as floats).
class WaveformReader : public QIODevice
{
    Q_OBJECT

public:
    explicit WaveformReader(QObject *parent = nullptr);

    void begin(Waveform &waveform, qint64 start);
    void end();
    // Frames handed to the sink so far.
    qint64 framesRead() const { return m_next - m_start; }
    qint64 startFrame() const { return m_start; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    Waveform *m_waveform = nullptr;
    qint64 m_start = 0;
    qint64 m_next = 0;
    int m_outFrameBytes = 0;
    std::vector<double> m_doubles;
};
