#include "app/FrmMain.h"
#include "core/Version.h"
#include "media/WaveMediaControl.h"
#include "media/server/PulseConnection.h"
#include "media/server/PulseWaveDevice.h"
#include "platform/RealPlatform.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

namespace {
void loadQtTranslation(QApplication &app, QTranslator &translator)
{
    // The file dialogs and the message boxes' buttons read in Chinese.
    if (translator.load(QLocale(QLocale::Chinese, QLocale::China),
                        QStringLiteral("qtbase"),
                        QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}
} // namespace

int main(int argc, char *argv[])
{
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
    QApplication::setApplicationName(QStringLiteral("Tapewren音频录音机"));
    QApplication::setApplicationVersion(QStringLiteral(TAPEWREN_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tapewren"));
    QTranslator translator;
    loadQtTranslation(app, translator);

    // connecting at once: the device set-up of the first New finds the server's answer waiting
    PulseConnection sound;
    WaveMediaControl MMCRecord(sound);
    PulseWaveDevice waveDevice(MMCRecord, sound);
    RealPlatform platform;
    FrmMain frmMain(platform.services(), MMCRecord, waveDevice);
    platform.setParentWidget(&frmMain);

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &frmMain, [&] {
        frmMain.Terminate();
    });

    frmMain.Form_Load();
    frmMain.show();
    QTimer::singleShot(0, &frmMain, [&] { frmMain.OfferLeftoverTakes(); });
    return app.exec();
}
