#include "platform/ApplicationFolder.h"

#include <QCoreApplication>

QString ApplicationFolder::path() const
{
    return QCoreApplication::applicationDirPath();
}
