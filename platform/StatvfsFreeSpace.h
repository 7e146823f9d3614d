#pragma once

#include "platform/DetachedWork.h"
#include "platform/FreeSpace.h"

// statvfs() on a thread of its own: on a network file system it can hang.
class StatvfsFreeSpace : public FreeSpace
{
    Q_OBJECT

public:
    void ask(const QString &folder) override;

private:
    bool m_asking = false; // a question is out
    DetachedWork m_work{this};
};
