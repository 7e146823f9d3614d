#pragma once

#include <QObject>
#include <QString>

// How much room is left on a disk. Asking never waits: the answer comes later through
// measured(), on this object's thread. A question asked while the last one is still out is
// dropped, so a disk that does not answer costs one waiting question, not a pile of them.
class FreeSpace : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    // The disk that holds folder.
    virtual void ask(const QString &folder) = 0;

signals:
    // Bytes this user may still write there.
    void measured(qint64 freeBytes);
};
