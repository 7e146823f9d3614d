#pragma once

#include "platform/InstanceGuard.h"

#include <QLockFile>
#include <QProcessEnvironment>
#include <QString>

#include <memory>

// One lock file per user and desktop session. The lock is taken with an atomic create, so of two
// copies started together exactly one gets it; a holder that died (even by SIGKILL) is recognised
// by its process id and its lock taken over.
class LockFileInstanceGuard : public InstanceGuard
{
public:
    explicit LockFileInstanceGuard(
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    ~LockFileInstanceGuard() override;

    Flag PrevInstance() override;
    // Gives the lock up, removing its file, when this copy holds it.
    void release() { m_lock.reset(); }

    QString lockFilePath() const { return m_lockFilePath; }

    static QString lockFilePathFor(const QProcessEnvironment &environment);

private:
    QString m_lockFilePath;
    std::unique_ptr<QLockFile> m_lock; // set once this copy holds the lock
};
