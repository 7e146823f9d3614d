#include "media/MediaTexts.h"

#include "media/MediaLog.h"

#include <pulse/def.h>
#include <pulse/error.h>
#include <sndfile.h>

#include <cerrno>
#include <cstring>

namespace MediaTexts {

QString damaged(const QString &detail)
{
    return QStringLiteral(u"文件已损坏（") + detail + QStringLiteral(u"）");
}

QString unknownCommand(const QString &command)
{
    return QStringLiteral(u"不支持的命令：") + command;
}

QString systemError(int errorNumber)
{
    qCInfo(lcMedia).noquote() << "system error" << errorNumber << std::strerror(errorNumber);
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral(u"文件或文件夹不存在");
    case EACCES:
    case EPERM:
        return QStringLiteral(u"没有访问权限");
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return diskFull();
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
    case ECONNREFUSED:
        return QStringLiteral(u"连接被拒绝");
    case ECONNRESET:
        return QStringLiteral(u"连接被重置");
    case ENXIO:
    case ENODEV:
        return QStringLiteral(u"设备不存在");
    default:
        return QStringLiteral(u"系统错误（代码 %1）").arg(errorNumber);
    }
}

Failure systemFailure(int errorNumber)
{
    const bool full = errorNumber == ENOSPC || errorNumber == EFBIG || errorNumber == EDQUOT;
    return Failure(full ? Failure::NoSpace : Failure::Io, systemError(errorNumber));
}

Failure spoolFailure(int errorNumber)
{
    Failure cause = systemFailure(errorNumber);
    if (cause.kind == Failure::NoSpace)
        return cause;
    return Failure(cause.kind,
                   QStringLiteral(u"无法写入录音临时文件（") + cause.reason
                           + QStringLiteral(u"）"));
}

QString serverError(int paError)
{
    qCInfo(lcMedia).noquote() << "sound server error" << paError << pa_strerror(paError);
    switch (paError) {
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return QStringLiteral(u"声音服务器拒绝访问");
    case PA_ERR_CONNECTIONREFUSED:
        return QStringLiteral(u"声音服务器拒绝连接");
    case PA_ERR_CONNECTIONTERMINATED:
        return serverLost();
    case PA_ERR_TIMEOUT:
        return QStringLiteral(u"声音服务器没有响应");
    case PA_ERR_NOENTITY:
        return QStringLiteral(u"设备不存在");
    case PA_ERR_NOTSUPPORTED:
    case PA_ERR_INVALID:
        return formatNotSupported();
    case PA_ERR_BUSY:
        return QStringLiteral(u"设备正忙");
    default:
        return QStringLiteral(u"声音服务器错误（代码 %1）").arg(paError);
    }
}

QString soundFileError(int sfError)
{
    qCInfo(lcMedia).noquote() << "sound file error" << sfError << sf_error_number(sfError);
    switch (sfError) {
    case SF_ERR_UNRECOGNISED_FORMAT:
        return QStringLiteral(u"无法识别的声音文件格式");
    case SF_ERR_MALFORMED_FILE:
        return damaged(QStringLiteral(u"文件结构不对"));
    case SF_ERR_UNSUPPORTED_ENCODING:
        return QStringLiteral(u"不支持这种声音编码");
    case SF_ERR_SYSTEM:
        return systemError(errno);
    default:
        return QStringLiteral(u"声音文件错误（代码 %1）").arg(sfError);
    }
}

} // namespace MediaTexts
