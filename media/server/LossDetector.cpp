#include "media/server/LossDetector.h"

#include <algorithm>

LossDetector::LossDetector(int sampleRate, qint64 stretchMs, qint64 thresholdMs)
    : m_rate(sampleRate)
    , m_stretchNs(stretchMs * 1'000'000)
    , m_thresholdFrames(qint64(sampleRate) * thresholdMs / 1000)
{}

qint64 LossDetector::received(qint64 nowNs, qint64 frames)
{
    if (m_startNs < 0) {
        // the sound up to the first piece counts as on time
        m_startNs = m_stretchStartNs = nowNs;
        m_startFrames = frames;
    }
    const qint64 elapsedNs = nowNs - m_startNs;
    const qint64 expected = m_startFrames + elapsedNs / 1'000'000'000 * m_rate
                            + elapsedNs % 1'000'000'000 * m_rate / 1'000'000'000;
    const qint64 shortfall = expected - frames;
    m_stretchLeast = m_stretchSeen ? std::min(m_stretchLeast, shortfall) : shortfall;
    m_stretchSeen = true;
    if (nowNs - m_stretchStartNs < m_stretchNs)
        return 0;

    // A stretch is complete: its least shortfall against the least of those before it.
    qint64 missing = 0;
    if (!m_earlier.empty()) {
        const qint64 before = *std::min_element(m_earlier.begin(), m_earlier.end());
        if (m_stretchLeast - before > m_thresholdFrames)
            missing = m_stretchLeast - before;
    }
    // once filled in, this stretch stands as it was before the loss
    m_earlier.push_back(m_stretchLeast - missing);
    if (int(m_earlier.size()) > m_stretchesKept)
        m_earlier.pop_front();
    m_stretchStartNs = nowNs;
    m_stretchSeen = false;
    return missing;
}
