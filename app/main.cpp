#include "app/CommandLine.h"
#include "app/FrmMain.h"
#include "core/Version.h"
#include "media/WaveMediaControl.h"
#include "media/server/PulseConnection.h"
#include "media/server/PulseWaveDevice.h"
#include "platform/DBusCommandSender.h"
#include "platform/RealPlatform.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <chrono>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A copy that is just starting takes its bus name once its single-instance check is done.
constexpr auto waitForStartingCopy = 10s;

void nameTheProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("Tapewren音频录音机"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAPEWREN_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Tapewren"));
}

void loadQtTranslation(QTranslator &translator)
{
    // The file dialogs, the message boxes' buttons and --help read in Chinese.
    if (translator.load(QLocale(QLocale::Chinese, QLocale::China),
                        QStringLiteral("qtbase"),
                        QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

void print(std::FILE *stream, QString text)
{
    if (!text.endsWith(u'\n'))
        text += u'\n';
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Hands the command to the copy that runs; the status to end with, or nullopt when no copy
// answers. A refusal is printed in one line.
std::optional<int> handToRunningCopy(const StartCommand &command, std::chrono::milliseconds wait)
{
    const Result<bool> sent = DBusCommandSender::send(command.command, command.stopAfter, wait);
    if (!sent.ok()) {
        print(stderr, QStringLiteral("tapewren: ") + sent.reason());
        return 1;
    }
    return sent.value() ? std::optional<int>(0) : std::nullopt;
}

// All that needs no window and no display: --help, --version, a command line that is refused,
// a command for the copy that runs. Gives the status to end with, or nullopt to start the
// window (with command set when there is one to carry out).
std::optional<int> runWithoutWindow(int argc, char *argv[], std::optional<StartCommand> &command)
{
    const QCoreApplication core(argc, argv);
    nameTheProgram();
    QTranslator translator;
    loadQtTranslation(translator);
    const CommandLine line = CommandLine::parse(QCoreApplication::arguments());
    switch (line.outcome) {
    case CommandLine::Outcome::ShowHelp:
    case CommandLine::Outcome::ShowVersion:
        print(stdout, line.text);
        return 0;
    case CommandLine::Outcome::Refuse:
        print(stderr, QStringLiteral("tapewren: ") + line.text);
        return 2;
    case CommandLine::Outcome::Run:
        break;
    }
    command = line.command;
    if (!command)
        return std::nullopt;
    return handToRunningCopy(*command, 0ms);
}

} // namespace

int main(int argc, char *argv[])
{
    std::optional<StartCommand> command;
    if (const std::optional<int> status = runWithoutWindow(argc, argv, command)) {
        // Ended without the static destructors, as the window ends: Qt's session-bus thread may
        // still be winding down, and it warns about types that exit() has already torn away.
        std::fflush(nullptr);
        ::_exit(*status);
    }

    // The recording clock reads the local time five times a second; with TZ unset the C library
    // looks at /etc/localtime again on every reading.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // The window repaints one line of text a second while recording. Through X shared memory
    // each repaint first waits for a round trip to the X server; sending the few kilobytes
    // costs less. Only this program's connection is set up so: started programs do not inherit it.
    const bool shmChosenByUser = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!shmChosenByUser)
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    if (!shmChosenByUser)
        qunsetenv("QT_XCB_NO_MITSHM");
    nameTheProgram();
    QGuiApplication::setDesktopFileName(QStringLiteral(TAPEWREN_APP_ID));
    QTranslator translator;
    loadQtTranslation(translator);

    // connecting at once: the device set-up of the first New finds the server's answer waiting
    PulseConnection sound;
    WaveMediaControl MMCRecord(sound);
    PulseWaveDevice waveDevice(MMCRecord, sound);
    RealPlatform platform;
    FrmMain frmMain(platform.services(), MMCRecord, waveDevice);
    platform.setParentWidget(&frmMain);
    if (command) {
        // another copy that started at the same moment may hold the single-instance lock
        frmMain.startWith(*command, [&command] {
            if (const std::optional<int> status = handToRunningCopy(*command, waitForStartingCopy))
                return *status;
            print(stderr,
                  QStringLiteral("tapewren: 另一个录音机正在运行，但它没有在会话总线上应答。"));
            return 1;
        });
    }

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &frmMain, [&] {
        frmMain.Terminate();
    });

    frmMain.Form_Load();
    frmMain.show();
    QTimer::singleShot(0, &frmMain, [&] { frmMain.OfferLeftoverTakes(); });
    return app.exec();
}
