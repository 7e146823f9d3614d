#include "recorder/SpaceWatch.h"

#include "core/Skip.h"
#include "media/MediaControl.h"
#include "platform/Clock.h"
#include "platform/FreeSpace.h"
#include "recorder/WarningLine.h"

#include <QTimer>

#include <cstdlib>

namespace {

constexpr qint64 warnBelowSeconds = 10 * 60;
constexpr qint64 askEverySeconds = 5;

} // namespace

SpaceWatch::SpaceWatch(MediaControl &MMCRecord,
                       FreeSpace &freeSpace,
                       Clock &clock,
                       QTimer *TimerBar,
                       WarningLine &warnings)
    : m_MMCRecord(MMCRecord)
    , m_freeSpace(freeSpace)
    , m_clock(clock)
    , m_warnings(warnings)
{
    connect(&MMCRecord, &MediaControl::RecordingChanged, this, [this](bool recording) {
        if (recording)
            begin();
        else
            end();
    });
    connect(TimerBar, &QTimer::timeout, this, &SpaceWatch::onClockTick);
    connect(&freeSpace, &FreeSpace::measured, this, &SpaceWatch::onMeasured);
}

QString SpaceWatch::forecast(qint64 freeBytes, qint64 bytesPerSecond)
{
    if (bytesPerSecond <= 0)
        return QString();
    const qint64 seconds = std::max<qint64>(freeBytes, 0) / bytesPerSecond;
    if (seconds >= warnBelowSeconds)
        return QString();
    return QStringLiteral("磁盘空间只够再录 %1 分钟").arg(seconds / 60);
}

void SpaceWatch::begin()
{
    m_recording = true;
    m_askedAt.reset();
    ask();
}

void SpaceWatch::end()
{
    m_recording = false;
    m_warnings.clear(WarningLine::LowSpace);
}

void SpaceWatch::onClockTick()
{
    if (!m_recording)
        return;
    Skip::statement([&] {
        const qint64 now = m_clock.secsSinceEpoch();
        if (!m_askedAt) {
            m_askedAt = now;
        } else if (std::llabs(now - *m_askedAt) >= askEverySeconds) { // the clock may be set back
            m_askedAt = now;
            ask();
        }
    });
}

void SpaceWatch::ask()
{
    m_freeSpace.ask(m_MMCRecord.spoolFolder());
}

void SpaceWatch::onMeasured(qint64 freeBytes)
{
    if (!m_recording)
        return;
    const QString warning = forecast(freeBytes, m_MMCRecord.bytesPerSecond());
    if (warning.isEmpty())
        m_warnings.clear(WarningLine::LowSpace);
    else
        m_warnings.set(WarningLine::LowSpace, warning);
}
