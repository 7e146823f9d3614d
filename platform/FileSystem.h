#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <sys/types.h>

// The few calls that put a recording on the disk: positioned writes, flushes, renames and the
// kernel's copy between files. They go through here so that tests can make them fail the way
// disks do (EIO at a flush, a short write, no copy between these files). Each behaves as its
// system call: a result below 0, or false, with errno saying why.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    virtual ssize_t pwrite(int fd, const void *data, size_t bytes, off_t offset) = 0;
    virtual bool fdatasync(int fd) = 0;
    virtual bool fsync(int fd) = 0;
    virtual bool rename(const QByteArray &from, const QByteArray &to) = 0;
    virtual ssize_t copyFileRange(
            int from, off_t *fromOffset, int to, off_t *toOffset, size_t bytes)
            = 0;

    // Writes all bytes at offset, through interruptions and short writes; a write that takes
    // nothing counts as a full disk.
    bool writeAll(int fd, const char *data, qint64 bytes, qint64 offset);
    // Flushes a folder, so that a rename in it lasts.
    bool syncFolder(const QByteArray &folder);

    // The system's own calls.
    static FileSystem &system();
};
