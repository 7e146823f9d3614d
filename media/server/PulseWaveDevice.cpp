#include "media/server/PulseWaveDevice.h"

#include "core/TapewrenError.h"
#include "media/MediaControl.h"
#include "media/server/PulseConnection.h"

#include <chrono>

using namespace std::chrono_literals;

namespace {

// The server's answer is normally waiting; only the first one after start-up, or the one to a
// change the server has just announced, may take a moment. A dead server does not stall a New.
constexpr auto serverTimeout = 1500ms;

} // namespace

PulseWaveDevice::PulseWaveDevice(MediaControl &mediaControl, PulseConnection &pulse)
    : m_mediaControl(mediaControl)
    , m_pulse(pulse)
{}

quint32 PulseWaveDevice::setInputOutput(qint16 deviceId, quint32 wInput, quint32 wOutput)
{
    qint16 openId = 0;
    try {
        openId = m_mediaControl.DeviceID();
    } catch (const TapewrenError &) {
        return NoSuchDevice;
    }
    if (deviceId == 0 || deviceId != openId)
        return NoSuchDevice;
    // Only the defaults exist here; there is no numbered list of inputs and outputs.
    if (wInput != 0)
        return NoInputDevice;
    if (wOutput != 0)
        return NoOutputDevice;

    const Result<PulseServerInfo> server = m_pulse.devices(serverTimeout);
    if (!server.ok())
        return SoundServerUnreachable;
    // The server records from any of its sources, monitors of outputs included, though Qt lists
    // no monitor; so the input is the source the server names, once it is known to exist.
    if (server->defaultSource.isEmpty() || !server->sources.contains(server->defaultSource))
        return NoInputDevice;
    if (server->defaultSink.isEmpty() || !server->sinks.contains(server->defaultSink))
        return NoOutputDevice;

    m_mediaControl.selectDevices(server->defaultSource, server->defaultSink);
    return Success;
}

QString PulseWaveDevice::errorText(quint32 code, int length) const
{
    QString text;
    switch (code) {
    case Success:
        text = QStringLiteral("指定的命令已执行。");
        break;
    case NoSuchDevice:
        text = QStringLiteral("无效的设备标识：该设备没有打开。请先新建或打开一个录音。");
        break;
    case SoundServerUnreachable:
        text = QStringLiteral(
                "无法连接声音服务器。请确认 PulseAudio 或 PipeWire 声音服务正在运行。");
        break;
    case NoOutputDevice:
        text = QStringLiteral("找不到默认的波形输出设备。请在系统的声音设置中选择一个输出设备。");
        break;
    case NoInputDevice:
        text = QStringLiteral("找不到默认的波形输入设备。请在系统的声音设置中选择一个录音设备。");
        break;
    default:
        text = QStringLiteral("未知的波形音频设备错误（错误代码 %1）。").arg(code);
        break;
    }
    return text.left(std::max(length, 0));
}
