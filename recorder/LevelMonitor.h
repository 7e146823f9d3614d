#pragma once

#include <QtGlobal>

// What the level display shows while recording, from the capture's readings and the time: the
// peak on a -60..0 dBFS scale, a clip mark held for two seconds after a sample reached full
// scale, and a warning once the input has brought no sound for three seconds. The warning
// goes again as soon as clear sound (above -50 dBFS) arrives.
class LevelMonitor
{
public:
    static constexpr int floorDb = -60;

    struct Shown
    {
        int meterDb = floorDb;
        bool clip = false;
        bool noSignal = false;
        friend bool operator==(const Shown &, const Shown &) = default;
    };

    void start(qint64 nowMs);
    void measured(double peakDb, bool clipped, qint64 nowMs);
    // What to show now; the warning comes on here when the silence has lasted long enough.
    Shown update(qint64 nowMs);

private:
    int m_meterDb = floorDb;
    qint64 m_clipUntilMs = -1;
    qint64 m_lastSoundMs = 0; // when the input last brought sound (or the recording started)
    bool m_noSignal = false;
};
