#include "platform/StateFolder.h"

#include <QDir>

QString StateFolder::path(const QProcessEnvironment &environment)
{
    QString base = environment.value(QStringLiteral("XDG_STATE_HOME"));
    // A relative XDG_STATE_HOME is invalid and to be ignored, as XDG tools do.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        QString home = environment.value(QStringLiteral("HOME"));
        if (home.isEmpty())
            home = QDir::homePath();
        base = home + QStringLiteral("/.local/state");
    }
    return QDir::cleanPath(base + QStringLiteral("/tapewren"));
}
