#pragma once

#include "core/Result.h"

#include <QString>

// The reasons the sound engine gives when it cannot do something, in the words the window shows
// the user. A reason says only the cause ("磁盘已满"); the window's sentence names what could not
// be done and its file ("无法保存文件“a.wav”：磁盘已满。").
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
// The sound file, or the spool of the recording, holds less than when it was opened.
inline QString soundFileShrank()
{
    return QStringLiteral(u"声音文件被截短了");
}
inline QString spoolShrank()
{
    return QStringLiteral(u"录音临时文件被截短了");
}
inline QString saveCancelled()
{
    return QStringLiteral(u"保存已取消");
}
inline QString saveBusy()
{
    return QStringLiteral(u"上一次保存还没有结束");
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
inline QString notRegularFile()
{
    return QStringLiteral(u"不是普通文件");
}
inline QString noFileName()
{
    return QStringLiteral(u"没有指定文件名");
}
inline QString tooLong()
{
    return QStringLiteral(u"录音太长，超出了可以表示的范围");
}
inline QString cannotReadRecording()
{
    return QStringLiteral(u"无法读取录音数据");
}

// "文件已损坏（" + detail + "）"
QString damaged(const QString &detail);
// "不支持的命令：" + command
QString unknownCommand(const QString &command);

// The cause of a failed system call, by its errno value, in Chinese; the system's own text
// goes to the log.
QString systemError(int errorNumber);
// The same as a failure of the matching kind: no space, or I/O.
Failure systemFailure(int errorNumber);
// Why the spool could not take the captured sound (errno value): a full disk, or the spool
// file that failed and why.
Failure spoolFailure(int errorNumber);
// The cause of a refusal from the sound server, by libpulse's error code.
QString serverError(int paError);
// The cause of a failure inside libsndfile, by its error code (sf_error).
QString soundFileError(int sfError);

} // namespace MediaTexts
