#include "media/server/PulseQtMainloop.h"

#include <QSocketNotifier>

#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <climits>

struct PulseQtMainloop::IoEvent
{
    PulseQtMainloop *loop = nullptr;
    int fd = -1;
    pa_io_event_flags_t flags = PA_IO_EVENT_NULL;
    pa_io_event_cb_t callback = nullptr;
    void *userdata = nullptr;
    pa_io_event_destroy_cb_t destroy = nullptr;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    bool dead = false;
};

struct PulseQtMainloop::TimeEvent
{
    PulseQtMainloop *loop = nullptr;
    pa_time_event_cb_t callback = nullptr;
    void *userdata = nullptr;
    pa_time_event_destroy_cb_t destroy = nullptr;
    timeval when{};
    pa_usec_t dueUs = 0; // on the monotonic clock
    bool armed = false;
    QTimer timer;
    bool dead = false;
};

struct PulseQtMainloop::DeferEvent
{
    PulseQtMainloop *loop = nullptr;
    pa_defer_event_cb_t callback = nullptr;
    void *userdata = nullptr;
    pa_defer_event_destroy_cb_t destroy = nullptr;
    bool enabled = true;
    bool dead = false;
};

namespace {

// libpulse marks times on the monotonic clock with this bit in tv_usec (its wall-clock times
// lack it); the mark has been the same since the monotonic clock came in.
constexpr suseconds_t monotonicMark = suseconds_t(1) << 30;

// Enough to empty a socket of a round's messages; a bound all the same.
constexpr int maxRoundsBeforeRest = 256;

pa_usec_t dueOnMonotonicClock(const timeval &when)
{
    if (when.tv_usec & monotonicMark) {
        timeval plain = when;
        plain.tv_usec &= ~monotonicMark;
        return pa_timeval_load(&plain);
    }
    timeval now{};
    pa_gettimeofday(&now);
    const pa_usec_t wall = pa_timeval_load(&when);
    const pa_usec_t wallNow = pa_timeval_load(&now);
    const pa_usec_t monotonicNow = pa_rtclock_now();
    return wall > wallNow ? monotonicNow + (wall - wallNow) : monotonicNow;
}

int msUntil(pa_usec_t dueUs)
{
    const pa_usec_t now = pa_rtclock_now();
    if (dueUs <= now)
        return 0;
    return int(std::min<pa_usec_t>((dueUs - now + 999) / 1000, INT_MAX));
}

short pollEvents(pa_io_event_flags_t flags)
{
    return short(((flags & PA_IO_EVENT_INPUT) ? POLLIN : 0)
                 | ((flags & PA_IO_EVENT_OUTPUT) ? POLLOUT : 0));
}

pa_io_event_flags_t ioFlags(short revents)
{
    int flags = PA_IO_EVENT_NULL;
    if (revents & POLLIN)
        flags |= PA_IO_EVENT_INPUT;
    if (revents & POLLOUT)
        flags |= PA_IO_EVENT_OUTPUT;
    if (revents & POLLHUP)
        flags |= PA_IO_EVENT_HANGUP;
    if (revents & (POLLERR | POLLNVAL))
        flags |= PA_IO_EVENT_ERROR;
    return pa_io_event_flags_t(flags);
}

} // namespace

// The table of functions libpulse calls; each finds its loop through the event or the api.
struct PulseQtMainloopCallbacks
{
    using Loop = PulseQtMainloop;

    static Loop *loopOf(pa_mainloop_api *api) { return static_cast<Loop *>(api->userdata); }

    static void dispatchIo(Loop::IoEvent *e, short revents)
    {
        if (e->dead)
            return;
        ++e->loop->m_dispatching;
        e->callback(e->loop->api(),
                    reinterpret_cast<pa_io_event *>(e),
                    e->fd,
                    ioFlags(revents),
                    e->userdata);
        --e->loop->m_dispatching;
        e->loop->collectDead();
    }

    static void dispatchNotified(Loop::IoEvent *e, short wanted)
    {
        Loop *loop = e->loop; // the callback may free e
        // Another reader may have emptied the socket since Qt saw it ready: ask again, as
        // libpulse takes a read that finds nothing for a broken connection.
        pollfd check{e->fd, wanted, 0};
        if (::poll(&check, 1, 0) > 0 && check.revents != 0)
            dispatchIo(e, check.revents);
        emit loop->handled();
    }

    static void enableIo(Loop::IoEvent *e, pa_io_event_flags_t flags)
    {
        e->flags = flags;
        // paced, the sockets are looked at by the round's own poll
        const bool watched = !e->dead && e->loop->m_paceMs == 0;
        e->readable->setEnabled(watched && (flags & PA_IO_EVENT_INPUT));
        e->writable->setEnabled(watched && (flags & PA_IO_EVENT_OUTPUT));
    }

    static pa_io_event *ioNew(pa_mainloop_api *api,
                              int fd,
                              pa_io_event_flags_t flags,
                              pa_io_event_cb_t callback,
                              void *userdata)
    {
        Loop *loop = loopOf(api);
        auto e = std::make_unique<Loop::IoEvent>();
        e->loop = loop;
        e->fd = fd;
        e->flags = flags;
        e->callback = callback;
        e->userdata = userdata;
        Loop::IoEvent *raw = e.get();
        e->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        e->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(e->readable.get(), &QSocketNotifier::activated, loop, [raw] {
            dispatchNotified(raw, POLLIN);
        });
        QObject::connect(e->writable.get(), &QSocketNotifier::activated, loop, [raw] {
            dispatchNotified(raw, POLLOUT);
        });
        enableIo(raw, flags);
        loop->m_io.push_back(std::move(e));
        return reinterpret_cast<pa_io_event *>(raw);
    }

    static void ioEnable(pa_io_event *event, pa_io_event_flags_t flags)
    {
        enableIo(reinterpret_cast<Loop::IoEvent *>(event), flags);
    }

    static void ioFree(pa_io_event *event)
    {
        auto *e = reinterpret_cast<Loop::IoEvent *>(event);
        e->dead = true;
        enableIo(e, PA_IO_EVENT_NULL);
        e->loop->collectDead();
    }

    static void ioSetDestroy(pa_io_event *event, pa_io_event_destroy_cb_t destroy)
    {
        reinterpret_cast<Loop::IoEvent *>(event)->destroy = destroy;
    }

    static void fireTime(Loop::TimeEvent *e)
    {
        if (e->dead || !e->armed)
            return;
        e->armed = false;
        ++e->loop->m_dispatching;
        e->callback(e->loop->api(), reinterpret_cast<pa_time_event *>(e), &e->when, e->userdata);
        --e->loop->m_dispatching;
        e->loop->collectDead();
    }

    static void armTime(Loop::TimeEvent *e, const timeval *when)
    {
        e->timer.stop();
        e->armed = when != nullptr;
        if (!e->armed)
            return;
        e->when = *when;
        e->dueUs = dueOnMonotonicClock(*when);
        e->timer.start(msUntil(e->dueUs));
    }

    static pa_time_event *timeNew(pa_mainloop_api *api,
                                  const timeval *when,
                                  pa_time_event_cb_t callback,
                                  void *userdata)
    {
        Loop *loop = loopOf(api);
        auto e = std::make_unique<Loop::TimeEvent>();
        e->loop = loop;
        e->callback = callback;
        e->userdata = userdata;
        Loop::TimeEvent *raw = e.get();
        raw->timer.setSingleShot(true);
        raw->timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&raw->timer, &QTimer::timeout, loop, [raw] { fireTime(raw); });
        armTime(raw, when);
        loop->m_time.push_back(std::move(e));
        return reinterpret_cast<pa_time_event *>(raw);
    }

    static void timeRestart(pa_time_event *event, const timeval *when)
    {
        armTime(reinterpret_cast<Loop::TimeEvent *>(event), when);
    }

    static void timeFree(pa_time_event *event)
    {
        auto *e = reinterpret_cast<Loop::TimeEvent *>(event);
        e->dead = true;
        e->timer.stop();
        e->loop->collectDead();
    }

    static void timeSetDestroy(pa_time_event *event, pa_time_event_destroy_cb_t destroy)
    {
        reinterpret_cast<Loop::TimeEvent *>(event)->destroy = destroy;
    }

    static pa_defer_event *deferNew(pa_mainloop_api *api,
                                    pa_defer_event_cb_t callback,
                                    void *userdata)
    {
        Loop *loop = loopOf(api);
        auto e = std::make_unique<Loop::DeferEvent>();
        e->loop = loop;
        e->callback = callback;
        e->userdata = userdata;
        Loop::DeferEvent *raw = e.get();
        loop->m_defer.push_back(std::move(e));
        loop->scheduleDefers();
        return reinterpret_cast<pa_defer_event *>(raw);
    }

    static void deferEnable(pa_defer_event *event, int enabled)
    {
        auto *e = reinterpret_cast<Loop::DeferEvent *>(event);
        e->enabled = enabled != 0;
        if (e->enabled)
            e->loop->scheduleDefers();
    }

    static void deferFree(pa_defer_event *event)
    {
        auto *e = reinterpret_cast<Loop::DeferEvent *>(event);
        e->dead = true;
        e->loop->collectDead();
    }

    static void deferSetDestroy(pa_defer_event *event, pa_defer_event_destroy_cb_t destroy)
    {
        reinterpret_cast<Loop::DeferEvent *>(event)->destroy = destroy;
    }

    static void quit(pa_mainloop_api *, int) {}
};

PulseQtMainloop::PulseQtMainloop()
{
    using C = PulseQtMainloopCallbacks;
    m_api.userdata = this;
    m_api.io_new = C::ioNew;
    m_api.io_enable = C::ioEnable;
    m_api.io_free = C::ioFree;
    m_api.io_set_destroy = C::ioSetDestroy;
    m_api.time_new = C::timeNew;
    m_api.time_restart = C::timeRestart;
    m_api.time_free = C::timeFree;
    m_api.time_set_destroy = C::timeSetDestroy;
    m_api.defer_new = C::deferNew;
    m_api.defer_enable = C::deferEnable;
    m_api.defer_free = C::deferFree;
    m_api.defer_set_destroy = C::deferSetDestroy;
    m_api.quit = C::quit;
    m_deferTimer.setSingleShot(true);
    connect(&m_deferTimer, &QTimer::timeout, this, &PulseQtMainloop::dispatchDefers);
    // coarse: the rounds fall on the same wake-ups as the window's own timers
    m_paceTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &PulseQtMainloop::paceRound);
}

PulseQtMainloop::~PulseQtMainloop()
{
    for (auto &e : m_io)
        e->dead = true;
    for (auto &e : m_time)
        e->dead = true;
    for (auto &e : m_defer)
        e->dead = true;
    m_dispatching = 0;
    collectDead();
}

void PulseQtMainloop::setPace(int intervalMs)
{
    m_paceMs = std::max(intervalMs, 0);
    for (const auto &e : m_io)
        PulseQtMainloopCallbacks::enableIo(e.get(), e->flags);
    if (m_paceMs == 0) {
        m_paceTimer.stop();
        return;
    }
    m_paceTimer.start(m_paceMs);
}

void PulseQtMainloop::paceRound()
{
    m_inRound = true;
    // Take everything that waits: over a plain socket libpulse reads one message per call, and
    // what is left would otherwise wait a whole round.
    for (int round = 0; round < maxRoundsBeforeRest && pollAndDispatch(0) > 0; ++round) {
    }
    m_inRound = false;
    // what the messages asked to run later runs in this wake-up, not on one more pass of the loop
    if (deferDue())
        dispatchDefers();
    emit handled();
}

bool PulseQtMainloop::deferDue() const
{
    return std::any_of(m_defer.begin(), m_defer.end(), [](const auto &e) {
        return !e->dead && e->enabled;
    });
}

void PulseQtMainloop::scheduleDefers()
{
    if (!m_inRound && !m_deferTimer.isActive())
        m_deferTimer.start(0);
}

void PulseQtMainloop::dispatchDefers()
{
    ++m_dispatching;
    // by index: a callback may add events
    for (std::size_t i = 0; i < m_defer.size(); ++i) {
        DeferEvent *e = m_defer[i].get();
        if (!e->dead && e->enabled)
            e->callback(api(), reinterpret_cast<pa_defer_event *>(e), e->userdata);
    }
    --m_dispatching;
    collectDead();
    if (deferDue())
        scheduleDefers();
}

void PulseQtMainloop::iterate(int timeoutMs)
{
    if (deferDue()) {
        dispatchDefers();
        return;
    }
    int wait = timeoutMs;
    for (const auto &e : m_time) {
        if (!e->dead && e->armed)
            wait = std::min(wait, msUntil(e->dueUs));
    }
    pollAndDispatch(std::max(wait, 0));
    const pa_usec_t now = pa_rtclock_now();
    ++m_dispatching;
    for (std::size_t i = 0; i < m_time.size(); ++i) {
        TimeEvent *e = m_time[i].get();
        if (!e->dead && e->armed && e->dueUs <= now)
            PulseQtMainloopCallbacks::fireTime(e);
    }
    --m_dispatching;
    collectDead();
}

int PulseQtMainloop::pollAndDispatch(int timeoutMs)
{
    std::vector<pollfd> &fds = m_pollFds;
    std::vector<IoEvent *> &polled = m_polled;
    fds.clear();
    polled.clear();
    for (const auto &e : m_io) {
        if (!e->dead && pollEvents(e->flags) != 0) {
            fds.push_back({e->fd, pollEvents(e->flags), 0});
            polled.push_back(e.get());
        }
    }
    // nothing is freed while the events polled here are being gone through
    ++m_dispatching;
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        if (fds[i].revents != 0)
            PulseQtMainloopCallbacks::dispatchIo(polled[i], fds[i].revents);
    }
    --m_dispatching;
    collectDead();
    return std::max(ready, 0);
}

void PulseQtMainloop::collectDead()
{
    if (m_dispatching > 0)
        return;
    // destroy callbacks may free more events: take the dead ones out first
    std::vector<std::unique_ptr<IoEvent>> io;
    std::vector<std::unique_ptr<TimeEvent>> time;
    std::vector<std::unique_ptr<DeferEvent>> defer;
    const auto split = [](auto &from, auto &to) {
        auto live = std::stable_partition(from.begin(), from.end(), [](const auto &e) {
            return !e->dead;
        });
        std::move(live, from.end(), std::back_inserter(to));
        from.erase(live, from.end());
    };
    split(m_io, io);
    split(m_time, time);
    split(m_defer, defer);
    for (auto &e : io) {
        if (e->destroy)
            e->destroy(api(), reinterpret_cast<pa_io_event *>(e.get()), e->userdata);
        // the notifier may be the one whose signal is being delivered right now
        e->readable.release()->deleteLater();
        e->writable.release()->deleteLater();
    }
    for (auto &e : time) {
        if (e->destroy)
            e->destroy(api(), reinterpret_cast<pa_time_event *>(e.get()), e->userdata);
    }
    for (auto &e : defer) {
        if (e->destroy)
            e->destroy(api(), reinterpret_cast<pa_defer_event *>(e.get()), e->userdata);
    }
}
