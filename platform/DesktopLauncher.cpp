#include "platform/DesktopLauncher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

bool DesktopLauncher::openUrl(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

bool DesktopLauncher::startDetached(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments);
}
