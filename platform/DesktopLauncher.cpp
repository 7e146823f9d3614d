#include "platform/DesktopLauncher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

Result<> DesktopLauncher::openUrl(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return Failure(QStringLiteral(u"网址无效：") + address);
    if (!QDesktopServices::openUrl(url))
        return Failure(QStringLiteral(u"无法打开网页：") + address);
    return {};
}

Result<> DesktopLauncher::startDetached(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty() || !QProcess::startDetached(program, arguments))
        return Failure(QStringLiteral(u"无法启动程序：") + program);
    return {};
}
