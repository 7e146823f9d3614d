#pragma once

#include <QtGlobal>

#include <deque>

// Finds sound that never arrived. A record stream that falls behind loses sound without a word:
// the server drops what its queue cannot hold, and the stream's own clock lags by just as much.
// So the frames received are counted against the system's monotonic clock instead. Their
// shortfall swings by up to a piece as the pieces come, and drifts slowly where the sound card's
// clock and the system's differ; lost sound shows as a step: the least shortfall of the latest
// stretch of time above the least of the stretches before it by more than a threshold.
class LossDetector
{
public:
    // stretchMs: at least twice the time between two pieces.
    LossDetector(int sampleRate, qint64 stretchMs = 1000, qint64 thresholdMs = 50);

    // Frames received so far (silence filled in for earlier losses included), at nowNs on the
    // monotonic clock. Returns the frames found missing, to be filled in with silence here;
    // 0 most of the time.
    qint64 received(qint64 nowNs, qint64 frames);

private:
    const int m_rate;
    const qint64 m_stretchNs;
    const qint64 m_thresholdFrames;
    static constexpr int m_stretchesKept = 3; // "within a few seconds"
    qint64 m_startNs = -1;
    qint64 m_startFrames = 0;
    qint64 m_stretchStartNs = 0;
    qint64 m_stretchLeast = 0; // least shortfall in the stretch under way
    bool m_stretchSeen = false;
    std::deque<qint64> m_earlier; // the least shortfall of each of the last stretches
};
