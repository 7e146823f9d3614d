#include "media/StreamWatch.h"

#include "media/StreamLoss.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto checkInterval = 500ms;
// A running stream moves many times a second; this long without a move is no hiccup.
constexpr int stillChecksBeforeAsking = 2;

} // namespace

StreamWatch::StreamWatch(std::function<qint64()> progress)
    : m_progress(std::move(progress))
{
    m_timer.setInterval(checkInterval);
    connect(&m_timer, &QTimer::timeout, this, &StreamWatch::check);
}

void StreamWatch::start(const QByteArray &sink)
{
    m_sink = sink;
    m_lastProgress = -1;
    m_stillChecks = 0;
    m_timer.start();
}

void StreamWatch::stop()
{
    m_timer.stop();
}

void StreamWatch::check()
{
    const qint64 progress = m_progress();
    if (progress != m_lastProgress) {
        m_lastProgress = progress;
        m_stillChecks = 0;
        return;
    }
    if (++m_stillChecks < stillChecksBeforeAsking)
        return;
    m_stillChecks = 0;
    const QString reason = StreamLoss::reason(m_sink);
    if (!reason.isEmpty()) {
        m_timer.stop();
        emit lost(reason);
    }
}
