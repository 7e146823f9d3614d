#pragma once

#include <QString>

// The reasons the media control keeps when it cannot carry out a command, in the words the
// window shows the user.
namespace MediaTexts {

inline QString noDeviceOpen()
{
    return QStringLiteral(u"没有打开的声音设备");
}
inline QString noInputDevice()
{
    return QStringLiteral(u"没有可用的录音设备");
}
inline QString noOutputDevice()
{
    return QStringLiteral(u"没有可用的放音设备");
}
inline QString noSoundServer()
{
    return QStringLiteral(u"无法连接声音服务器");
}
// Why a recording or playback ended by itself.
inline QString serverLost()
{
    return QStringLiteral(u"与声音服务器的连接中断");
}
inline QString inputDeviceLost()
{
    return QStringLiteral(u"录音设备已断开");
}
inline QString outputDeviceLost()
{
    return QStringLiteral(u"放音设备已断开");
}
inline QString diskFull()
{
    return QStringLiteral(u"磁盘已满");
}
inline QString spoolWriteFailed()
{
    return QStringLiteral(u"无法写入录音临时文件");
}
inline QString saveCancelled()
{
    return QStringLiteral(u"保存已取消");
}
inline QString formatNotSupported()
{
    return QStringLiteral(u"声音设备不支持这种声音格式");
}
// Neither a WAV file nor one of the compressed formats Tapewren opens.
inline QString notWave()
{
    return QStringLiteral(u"不是 WAV、FLAC、MP3、Ogg Vorbis 或 Opus 格式的声音文件");
}
inline QString noFileName()
{
    return QStringLiteral(u"没有指定文件名");
}
inline QString tooLong()
{
    return QStringLiteral(u"录音太长，超出了可以表示的范围");
}

// "无法打开文件：" + reason
QString cannotOpen(const QString &reason);
// "无法保存文件：" + reason
QString cannotSave(const QString &reason);
// "声音文件已损坏：" + reason
QString damaged(const QString &reason);
// "不支持的命令：" + command
QString unknownCommand(const QString &command);
// The reason for a failed system call, by its errno value.
QString systemError(int errorNumber);
// Why a recording stopped when its captured audio could not be written (errno value).
QString recordingWriteFailed(int errorNumber);

} // namespace MediaTexts
