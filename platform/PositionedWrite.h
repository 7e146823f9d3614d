#pragma once

#include <QtGlobal>

#include <cerrno>

#include <unistd.h>

// Writes all bytes at offset, through interruptions and short writes. On failure errno says
// why; a write that takes nothing counts as a full disk.
inline bool pwriteAll(int fd, const char *data, qint64 bytes, qint64 offset)
{
    for (qint64 done = 0; done < bytes;) {
        const ssize_t n = ::pwrite(fd, data + done, size_t(bytes - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}
