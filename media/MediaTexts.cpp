#include "media/MediaTexts.h"

#include <cerrno>
#include <cstring>

namespace MediaTexts {

QString cannotOpen(const QString &reason)
{
    return QStringLiteral(u"无法打开文件：") + reason;
}

QString cannotSave(const QString &reason)
{
    return QStringLiteral(u"无法保存文件：") + reason;
}

QString damaged(const QString &reason)
{
    return QStringLiteral(u"声音文件已损坏：") + reason;
}

QString unknownCommand(const QString &command)
{
    return QStringLiteral(u"不支持的命令：") + command;
}

QString systemError(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral(u"文件或文件夹不存在");
    case EACCES:
    case EPERM:
        return QStringLiteral(u"没有访问权限");
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return QStringLiteral(u"磁盘已满");
    case EROFS:
        return QStringLiteral(u"磁盘是只读的");
    case ENOTDIR:
        return QStringLiteral(u"路径中有一项不是文件夹");
    case EISDIR:
        return QStringLiteral(u"这是一个文件夹");
    case EIO:
        return QStringLiteral(u"磁盘读写出错");
    case ENAMETOOLONG:
        return QStringLiteral(u"文件名太长");
    default:
        return QStringLiteral(u"系统错误 ") + QString::number(errorNumber) + QStringLiteral(u"（")
               + QString::fromLocal8Bit(std::strerror(errorNumber)) + QStringLiteral(u"）");
    }
}

QString recordingWriteFailed(int errorNumber)
{
    if (errorNumber == ENOSPC || errorNumber == EFBIG || errorNumber == EDQUOT)
        return diskFull();
    return spoolWriteFailed() + QStringLiteral(u"（") + systemError(errorNumber)
           + QStringLiteral(u"）");
}

} // namespace MediaTexts
