#include "platform/FileSystem.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

class SystemFileSystem final : public FileSystem
{
public:
    ssize_t pwrite(int fd, const void *data, size_t bytes, off_t offset) override
    {
        return ::pwrite(fd, data, bytes, offset);
    }
    bool fdatasync(int fd) override { return ::fdatasync(fd) == 0; }
    bool fsync(int fd) override { return ::fsync(fd) == 0; }
    bool rename(const QByteArray &from, const QByteArray &to) override
    {
        return ::rename(from.constData(), to.constData()) == 0;
    }
    ssize_t copyFileRange(
            int from, off_t *fromOffset, int to, off_t *toOffset, size_t bytes) override
    {
        return ::copy_file_range(from, fromOffset, to, toOffset, bytes, 0);
    }
};

} // namespace

bool FileSystem::writeAll(int fd, const char *data, qint64 bytes, qint64 offset)
{
    for (qint64 done = 0; done < bytes;) {
        const ssize_t n = pwrite(fd, data + done, size_t(bytes - done), off_t(offset + done));
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

bool FileSystem::syncFolder(const QByteArray &folder)
{
    UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.isValid() && fsync(fd.get());
}

FileSystem &FileSystem::system()
{
    static SystemFileSystem calls; // holds no state
    return calls;
}
