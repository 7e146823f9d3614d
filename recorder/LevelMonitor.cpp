#include "recorder/LevelMonitor.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 clipHoldMs = 2000;
constexpr qint64 silenceBeforeWarningMs = 3000;
// Sound this clear ends the warning; the gap to the floor keeps a level hovering near it from
// switching the warning on and off.
constexpr double clearSoundDb = -50.0;

} // namespace

void LevelMonitor::start(qint64 nowMs)
{
    *this = LevelMonitor();
    m_lastSoundMs = nowMs;
}

void LevelMonitor::measured(double peakDb, bool clipped, qint64 nowMs)
{
    m_meterDb = std::clamp(int(std::lround(std::max(peakDb, double(floorDb) - 1))), floorDb, 0);
    if (clipped)
        m_clipUntilMs = nowMs + clipHoldMs;
    const bool sound = m_noSignal ? peakDb > clearSoundDb : peakDb >= floorDb;
    if (sound) {
        m_lastSoundMs = nowMs;
        m_noSignal = false;
    }
}

LevelMonitor::Shown LevelMonitor::update(qint64 nowMs)
{
    if (nowMs - m_lastSoundMs >= silenceBeforeWarningMs)
        m_noSignal = true;
    return {m_meterDb, nowMs < m_clipUntilMs, m_noSignal};
}
