#include "recorder/TimedStop.h"

#include "core/Skip.h"
#include "media/MediaControl.h"
#include "platform/Clock.h"

#include <QLabel>

TimedStop::TimedStop(QLabel *label,
                     MediaControl &MMCRecord,
                     Clock &clock,
                     std::function<void()> stop)
    : m_label(label)
    , m_clock(clock)
    , m_stop(std::move(stop))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TimedStop::due);
    connect(&MMCRecord, &MediaControl::RecordingChanged, this, [this](bool recording) {
        if (!recording)
            cancel();
    });
}

void TimedStop::set(std::chrono::milliseconds after)
{
    m_timer.start(after);
    Skip::statement([&] {
        const QString at
                = m_clock.now().addMSecs(after.count()).toString(QStringLiteral("HH:mm:ss"));
        m_label->setText(QStringLiteral("将于 %1 自动停止").arg(at));
    });
    m_label->show();
}

void TimedStop::cancel()
{
    m_timer.stop();
    m_label->hide();
}

void TimedStop::due()
{
    m_label->hide();
    m_stop();
}
