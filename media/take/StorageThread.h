#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The thread that puts recordings on the disk: the spool's writes and flushes and the journal's
// replacements run here one after another, in the order they were asked for, so that the window
// never waits for a slow disk and a journal never describes sound that is not yet there. Made
// without a thread (inline), each job runs at once on the caller's thread instead.
class StorageThread
{
public:
    enum Mode { OwnThread, Inline };
    explicit StorageThread(Mode mode = OwnThread);
    // Runs everything asked for, then ends.
    ~StorageThread();
    StorageThread(const StorageThread &) = delete;
    StorageThread &operator=(const StorageThread &) = delete;

    // From any thread; never waits for the disk.
    void post(std::function<void()> job);
    // Waits until everything posted so far has run.
    void waitIdle();

private:
    void run();

    const Mode m_mode;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_running = false; // a job is running
    bool m_ending = false;
    std::thread m_thread; // started with the first job
};
