#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler can reach nothing but a plain global; it only writes the signal's number
// into the pipe that the main thread watches.
volatile sig_atomic_t pipeWriteEnd = -1;

void onSignal(int signalNumber)
{
    const int saved = errno;
    const char byte = char(signalNumber);
    if (pipeWriteEnd >= 0 && ::write(pipeWriteEnd, &byte, 1) < 0) {
        // the pipe is full: a signal is already waiting to be handled
    }
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_read.reset(ends[0]);
    m_write.reset(ends[1]);
    pipeWriteEnd = m_write.get();
    m_notifier = new QSocketNotifier(m_read.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    pipeWriteEnd = -1;
}

void TerminationSignals::onReadable()
{
    char byte = 0;
    while (::read(m_read.get(), &byte, 1) == 1)
        emit received(int(byte));
}
