#include "app/CommandLine.h"

#include "core/Version.h"
#include "recorder/TimedStop.h"

#include <QCommandLineParser>
#include <QRegularExpression>

const QString CommandLine::TooLong = QStringLiteral("定时停止最长 24 小时。");

namespace {

CommandLine refuse(const QString &reason)
{
    CommandLine line;
    line.outcome = CommandLine::Outcome::Refuse;
    line.text = reason;
    return line;
}

// "90m", "1h30m", "45s": hours, minutes and seconds in this order, each at most once.
const QString hoursMinutesSeconds = QStringLiteral("^(?:(\\d+)h)?(?:(\\d+)m)?(?:(\\d+)s)?$");

std::optional<std::chrono::seconds> duration(const QString &text)
{
    static const QRegularExpression pattern(hoursMinutesSeconds,
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (text.isEmpty() || !match.hasMatch())
        return std::nullopt;
    // each part at most a few digits, so the sum cannot overflow
    const auto part = [&match](int group) {
        const QString digits = match.captured(group);
        return digits.size() > 6 ? -1 : digits.toLongLong();
    };
    const qint64 hours = part(1), minutes = part(2), seconds = part(3);
    if (hours < 0 || minutes < 0 || seconds < 0)
        return std::nullopt;
    return std::chrono::seconds(hours * 3600 + minutes * 60 + seconds);
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Tapewren音频录音机：录音、回放，并保存为 WAV 文件。\n"
                           "已有一个录音机在运行时，命令交给它执行。"));
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("开始录音。"));
    const QCommandLineOption stop(QStringLiteral("stop"), QStringLiteral("停止录音或播放。"));
    const QCommandLineOption toggle(QStringLiteral("toggle"),
                                    QStringLiteral("没有在录音或播放时开始录音，否则停止。"));
    const QCommandLineOption stopAfter(QStringLiteral("stop-after"),
                                       QStringLiteral("与 --record 一起使用：录音这么久后自动停止，"
                                                      "例如 90m、1h30m、45s。"),
                                       QStringLiteral("时长"));
    // Qt's own --help would offer --help-all with options this program does not take
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示这份帮助。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本。"));
    parser.addOptions({record, stop, toggle, stopAfter, help, version});

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString dashes = unknown.constFirst().size() == 1 ? QStringLiteral("-")
                                                                    : QStringLiteral("--");
            return refuse(QStringLiteral("未知的选项“%1%2”，可用的选项见 --help。")
                                  .arg(dashes, unknown.constFirst()));
        }
        return refuse(parser.errorText());
    }
    CommandLine line;
    if (parser.isSet(help)) {
        line.outcome = Outcome::ShowHelp;
        line.text = parser.helpText();
        return line;
    }
    if (parser.isSet(version)) {
        line.outcome = Outcome::ShowVersion;
        line.text = QStringLiteral("Tapewren音频录音机 " TAPEWREN_VERSION);
        return line;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("多余的参数“%1”，可用的选项见 --help。")
                              .arg(parser.positionalArguments().constFirst()));

    const QList<std::pair<const QCommandLineOption *, RemoteCommand>>
            commands{{&record, RemoteCommand::Record},
                     {&stop, RemoteCommand::Stop},
                     {&toggle, RemoteCommand::Toggle}};
    for (const auto &[option, command] : commands) {
        if (!parser.isSet(*option))
            continue;
        if (line.command)
            return refuse(QStringLiteral("--record、--stop 和 --toggle 一次只能用一个。"));
        line.command = StartCommand{command, std::chrono::seconds(0)};
    }
    if (parser.isSet(stopAfter)) {
        if (!line.command || line.command->command != RemoteCommand::Record)
            return refuse(QStringLiteral("--stop-after 只能与 --record 一起使用。"));
        const QString value = parser.value(stopAfter);
        const std::optional<std::chrono::seconds> after = duration(value);
        if (!after || after->count() == 0)
            return refuse(QStringLiteral("“%1”不是有效的时长，例如 90m、1h30m、45s。").arg(value));
        if (*after > TimedStop::longest)
            return refuse(TooLong);
        line.command->stopAfter = *after;
    }
    return line;
}
