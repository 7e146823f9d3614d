#include "FaultyFileSystem.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

ssize_t FaultyFileSystem::pwrite(int fd, const void *data, size_t bytes, off_t offset)
{
    qint64 left = room.load();
    if (left < 0)
        return FileSystem::system().pwrite(fd, data, bytes, offset);
    if (left == 0) {
        errno = ENOSPC;
        return -1;
    }
    const size_t part = std::min<size_t>(bytes, size_t(left));
    const ssize_t written = FileSystem::system().pwrite(fd, data, part, offset);
    if (written > 0)
        room -= written;
    return written;
}

bool FaultyFileSystem::fdatasync(int fd)
{
    return flush(fd, true);
}

bool FaultyFileSystem::fsync(int fd)
{
    return flush(fd, false);
}

bool FaultyFileSystem::flush(int fd, bool dataOnly)
{
    if (beforeFlush)
        beforeFlush();
    {
        const std::lock_guard lock(m_mutex);
        const int allowed = flushesThatWork.load();
        if (allowed >= 0 && m_flushes++ >= allowed) {
            errno = EIO;
            return false;
        }
    }
    FileSystem &system = FileSystem::system();
    if (!(dataOnly ? system.fdatasync(fd) : system.fsync(fd)))
        return false;
    char path[PATH_MAX] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(link.constData(), path, sizeof path - 1);
    struct stat st = {};
    if (length > 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const std::lock_guard lock(m_mutex);
        m_flushed[QByteArray(path, length)] = qint64(st.st_size);
    }
    return true;
}

bool FaultyFileSystem::rename(const QByteArray &from, const QByteArray &to)
{
    if (beforeRename)
        beforeRename(from, to);
    if (!FileSystem::system().rename(from, to))
        return false;
    const std::lock_guard lock(m_mutex);
    if (m_flushed.contains(from))
        m_flushed[to] = m_flushed.take(from);
    return true;
}

ssize_t FaultyFileSystem::copyFileRange(
        int from, off_t *fromOffset, int to, off_t *toOffset, size_t bytes)
{
    if (noKernelCopy) {
        errno = EXDEV;
        return -1;
    }
    return FileSystem::system().copyFileRange(from, fromOffset, to, toOffset, bytes);
}

qint64 FaultyFileSystem::flushedSize(const QByteArray &path) const
{
    const std::lock_guard lock(m_mutex);
    return m_flushed.value(path, -1);
}
