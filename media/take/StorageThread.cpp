#include "media/take/StorageThread.h"

#include <pthread.h>

StorageThread::StorageThread(Mode mode)
    : m_mode(mode)
{}

StorageThread::~StorageThread()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void StorageThread::post(std::function<void()> job)
{
    if (m_mode == Inline) {
        job();
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { run(); });
            pthread_setname_np(m_thread.native_handle(), "tapewren-disk");
        }
    }
    m_changed.notify_all();
}

void StorageThread::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_running; });
}

void StorageThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_jobs.empty() || m_ending; });
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running = true;
        lock.unlock();
        job();
        lock.lock();
        m_running = false;
        m_changed.notify_all();
    }
}
