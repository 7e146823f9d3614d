#include "platform/ImmediateProgramEnd.h"

#include <unistd.h>

ImmediateProgramEnd::ImmediateProgramEnd(std::function<void()> releaseLocks)
    : m_releaseLocks(std::move(releaseLocks))
{}

void ImmediateProgramEnd::end()
{
    if (m_releaseLocks)
        m_releaseLocks();
    // _exit skips atexit handlers, static destructors and Qt's shutdown: nothing else may run,
    // and the window and the media control go with the process.
    ::_exit(0);
}
