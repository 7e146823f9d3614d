#include "platform/ImmediateProgramEnd.h"

#include <unistd.h>

ImmediateProgramEnd::ImmediateProgramEnd(std::function<void()> release)
    : m_release(std::move(release))
{}

void ImmediateProgramEnd::endWith(int status)
{
    if (m_release)
        m_release();
    // _exit skips atexit handlers, static destructors and Qt's shutdown: nothing else may run,
    // and the window and the media control go with the process.
    ::_exit(status);
}
