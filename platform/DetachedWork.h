#pragma once

#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Runs work on a thread of its own and hands what it gives back to the receiver's thread,
// queued. Once the receiver is gone nothing arrives. Work that never returns (a folder on a
// network disk that went away) holds only its own thread; the program does not wait for it.
class DetachedWork
{
public:
    explicit DetachedWork(QObject *receiver)
        : m_mailbox(std::make_shared<Mailbox>(receiver))
    {}
    ~DetachedWork()
    {
        const std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->receiver = nullptr;
    }
    DetachedWork(const DetachedWork &) = delete;
    DetachedWork &operator=(const DetachedWork &) = delete;

    // deliver(work()) runs on the receiver's thread.
    template<typename Work, typename Deliver>
    void run(Work work, Deliver deliver)
    {
        std::thread([mailbox = m_mailbox, work = std::move(work), deliver = std::move(deliver)] {
            auto result = work();
            // under the lock, so the receiver cannot go between the test and the post
            const std::lock_guard lock(mailbox->mutex);
            if (mailbox->receiver)
                QMetaObject::invokeMethod(
                        mailbox->receiver,
                        [deliver, result] { deliver(result); },
                        Qt::QueuedConnection);
        }).detach();
    }

private:
    struct Mailbox
    {
        explicit Mailbox(QObject *receiver)
            : receiver(receiver)
        {}
        std::mutex mutex;
        QObject *receiver;
    };
    std::shared_ptr<Mailbox> m_mailbox;
};
