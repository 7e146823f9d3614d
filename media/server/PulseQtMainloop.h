#pragma once

#include <QObject>
#include <QTimer>

#include <pulse/mainloop-api.h>

#include <memory>
#include <poll.h>
#include <vector>

// libpulse's main loop interface on Qt's event loop: the sound server's messages are handled on
// the main thread as they come, with no thread of libpulse's own, no locks and no hand-over
// between threads. Where a caller must wait for the server (connecting, the last sound at
// Stop), iterate() runs libpulse's events alone, without running anything else of the program.
class PulseQtMainloop : public QObject
{
    Q_OBJECT

public:
    PulseQtMainloop();
    ~PulseQtMainloop() override;

    pa_mainloop_api *api() { return &m_api; }

    // Waits at most timeoutMs for one of libpulse's events and handles what is due.
    void iterate(int timeoutMs);

    // Handles the server's messages at most once per interval; 0 handles them as they come.
    // Sound waits in the server's buffers meanwhile and is then read in one go, so a stream
    // wakes the program a few times a second instead of once per block of the source.
    void setPace(int intervalMs);

signals:
    // A round of the server's messages has been handled.
    void handled();

public:
    // The events libpulse asks for; public only for the callbacks that make them.
    struct IoEvent;
    struct TimeEvent;
    struct DeferEvent;

private:
    void paceRound();
    int pollAndDispatch(int timeoutMs); // returns how many sockets were ready
    void dispatchDefers();
    void scheduleDefers();
    bool deferDue() const; // an enabled defer event waits to run
    void collectDead();

    pa_mainloop_api m_api{};
    std::vector<std::unique_ptr<IoEvent>> m_io;
    std::vector<std::unique_ptr<TimeEvent>> m_time;
    std::vector<std::unique_ptr<DeferEvent>> m_defer;
    QTimer m_deferTimer;    // runs enabled defer events once the event loop comes round
    int m_dispatching = 0;  // freed events go only once nothing of them runs any more
    int m_paceMs = 0;       // while paced, no socket is watched between two rounds
    bool m_inRound = false; // a paced round runs the defer events itself, at its end
    QTimer m_paceTimer;
    std::vector<pollfd> m_pollFds; // kept: a round allocates nothing
    std::vector<IoEvent *> m_polled;

    friend struct PulseQtMainloopCallbacks;
};
