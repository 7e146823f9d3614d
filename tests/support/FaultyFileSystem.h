#pragma once

#include "platform/FileSystem.h"

#include <QHash>

#include <atomic>
#include <functional>
#include <mutex>

// The system's own calls, failing where a test says, the way disks fail: a flush that reports
// EIO, a disk that fills in the middle of a write, no copy in the kernel between two files. It
// also remembers how much of each file the last flush put on the disk, for a test that plays
// a power cut. Safe to use from several threads.
class FaultyFileSystem : public FileSystem
{
public:
    ssize_t pwrite(int fd, const void *data, size_t bytes, off_t offset) override;
    bool fdatasync(int fd) override;
    bool fsync(int fd) override;
    bool rename(const QByteArray &from, const QByteArray &to) override;
    ssize_t copyFileRange(
            int from, off_t *fromOffset, int to, off_t *toOffset, size_t bytes) override;

    // The flushes after the first n fail with EIO; -1 never.
    std::atomic<int> flushesThatWork{-1};
    // Bytes the disk still takes; a write that reaches past them is cut short, the next fails
    // with ENOSPC. -1 for no limit.
    std::atomic<qint64> room{-1};
    std::atomic<bool> noKernelCopy{false};
    // Called before each flush and each rename, on the thread that makes it.
    std::function<void()> beforeFlush;
    std::function<void(const QByteArray &from, const QByteArray &to)> beforeRename;

    // The size the file at path had at its last flush; -1 if it was never flushed.
    qint64 flushedSize(const QByteArray &path) const;

private:
    bool flush(int fd, bool dataOnly);

    mutable std::mutex m_mutex;
    QHash<QByteArray, qint64> m_flushed; // path -> size at the last flush
    int m_flushes = 0;
};
