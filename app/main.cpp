#include "platform/RealPlatform.h"
#include "recorder/WaveMediaControl.h"
#include "window/FrmMain.h"

#include <QApplication>
#include <QLibraryInfo>
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tapewren音频录音机"));
    QApplication::setApplicationVersion(QStringLiteral("2.10"));
    QApplication::setOrganizationName(QStringLiteral("Tapewren"));
    QTranslator translator;
    loadQtTranslation(app, translator);

    WaveMediaControl MMCRecord;
    RealPlatform platform(MMCRecord);
    FrmMain frmMain(platform.services(), MMCRecord);
    platform.setParentWidget(&frmMain);

    frmMain.Form_Load();
    frmMain.show();
    return app.exec();
}
