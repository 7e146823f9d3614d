#pragma once

#include "platform/InstanceGuard.h"
#include "platform/UniqueFd.h"

#include <QProcessEnvironment>
#include <QString>

// One lock file per user and desktop session, held with flock() while this copy runs. The kernel
// drops the lock with its holder, so a copy that died (even by SIGKILL) never blocks the next one,
// and a copy that runs for days keeps it.
class LockFileInstanceGuard : public InstanceGuard
{
public:
    explicit LockFileInstanceGuard(
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    ~LockFileInstanceGuard() override;

    Flag PrevInstance() override;
    // Gives the lock up, removing its file, when this copy holds it.
    void release();

    QString lockFilePath() const { return m_lockFilePath; }

    static QString lockFilePathFor(const QProcessEnvironment &environment);

private:
    QString m_lockFilePath;
    UniqueFd m_lock; // open once this copy holds the lock
};
