#include "platform/RealPlatform.h"
#include "recorder/WaveMediaControl.h"
#include "window/FrmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QStyle>
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

void centre(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    window.move(QStyle::alignedRect(Qt::LeftToRight,
                                    Qt::AlignCenter,
                                    window.frameGeometry().size(),
                                    screen->availableGeometry())
                        .topLeft());
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
    centre(frmMain);
    frmMain.show();
    return app.exec();
}
