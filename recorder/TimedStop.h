#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class Clock;
class MediaControl;
class QLabel;

// A stop set for a moment ahead while recording. The status panel says when ("将于 HH:mm:ss
// 自动停止"); at that moment stop runs, which stops the take as the Stop button does. The
// setting goes with the take, however the take ends.
class TimedStop : public QObject
{
    Q_OBJECT

public:
    // A timed stop is for one sitting: a lecture, a meeting, a night.
    static constexpr std::chrono::hours longest{24};

    TimedStop(QLabel *label, MediaControl &MMCRecord, Clock &clock, std::function<void()> stop);

    // From now, at most longest; a stop set earlier is replaced.
    void set(std::chrono::milliseconds after);
    void cancel();
    bool isSet() const { return m_timer.isActive(); }

private:
    void due();

    QLabel *m_label;
    Clock &m_clock;
    std::function<void()> m_stop;
    QTimer m_timer; // to the millisecond: a timed take is as long as it was set to be
};
