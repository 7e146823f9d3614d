#include "PrivateSoundServer.h"

#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr int startAttempts = 100;
constexpr auto attemptPause = 100ms;
constexpr int pactlTimeoutMs = 10000;

} // namespace

PrivateSoundServer::PrivateSoundServer()
{
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

PrivateSoundServer::~PrivateSoundServer()
{
    for (QProcess *process : {&m_feed, &m_tone, &m_daemon}) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
    }
}

QString PrivateSoundServer::start()
{
    for (const char *tool : {"pulseaudio", "pactl", "pacat", "sox"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    if (!m_runtime.isValid())
        return QStringLiteral("no runtime folder");

    const QString config = m_runtime.filePath(QStringLiteral("client.conf"));
    QFile client(config);
    if (!client.open(QIODevice::WriteOnly) || client.write("autospawn = no\n") < 0)
        return QStringLiteral("cannot write the client configuration");
    client.close();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(config));
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(m_runtime.filePath("pulse/native")));

    // a daemon already on the session bus holds the server's name there; stay off the bus
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=/nonexistent/tapewren-no-bus"));
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.setStandardOutputFile(QProcess::nullDevice());
    m_daemon.start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("--daemonize=no"),
                    QStringLiteral("--exit-idle-time=-1"),
                    QStringLiteral("--disallow-exit"),
                    QStringLiteral("-n"),
                    QStringLiteral("--log-level=0"),
                    QStringLiteral("--load=module-native-protocol-unix")});
    if (!m_daemon.waitForStarted())
        return QStringLiteral("pulseaudio did not start");
    bool up = false;
    for (int i = 0; i < startAttempts && !up; ++i) {
        up = pactl({QStringLiteral("info")});
        if (!up)
            QThread::msleep(std::chrono::milliseconds(attemptPause).count());
    }
    if (!up)
        return QStringLiteral("pulseaudio did not answer");

    if (!pactl({"load-module", "module-null-sink", "sink_name=out"})
        || !pactl({"load-module", "module-null-sink", "sink_name=mic"}) || !restoreInput()
        || !pactl({"set-default-sink", "out"}))
        return QStringLiteral("cannot set up the test devices");

    m_tone.setStandardOutputProcess(&m_feed);
    m_tone.setStandardErrorFile(QProcess::nullDevice());
    m_feed.setStandardOutputFile(QProcess::nullDevice());
    m_feed.setStandardErrorFile(QProcess::nullDevice());
    m_tone.start(QStringLiteral("sox"),
                 {"-q",
                  "-n",
                  "-r",
                  "44100",
                  "-c",
                  "2",
                  "-b",
                  "16",
                  "-t",
                  "raw",
                  "-",
                  "synth",
                  "86400",
                  "sine",
                  "440"});
    m_feed.start(QStringLiteral("pacat"),
                 {"-d",
                  "mic",
                  "--raw",
                  "--rate=44100",
                  "--channels=2",
                  "--format=s16le",
                  "--latency-msec=20"});
    if (!m_tone.waitForStarted() || !m_feed.waitForStarted())
        return QStringLiteral("cannot feed the test tone");
    return {};
}

void PrivateSoundServer::kill()
{
    m_daemon.kill();
    m_daemon.waitForFinished();
}

bool PrivateSoundServer::removeInput()
{
    return pactl({QStringLiteral("unload-module"), m_inputModule});
}

bool PrivateSoundServer::restoreInput()
{
    return pactl({"load-module", "module-remap-source", "master=mic.monitor", "source_name=vmic"},
                 &m_inputModule)
           && pactl({"set-default-source", "vmic"});
}

bool PrivateSoundServer::pactl(const QStringList &arguments, QString *output) const
{
    QProcess process;
    if (!output)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("pactl"), arguments);
    const bool done = process.waitForFinished(pactlTimeoutMs)
                      && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return done;
}
