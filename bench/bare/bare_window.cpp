// The peer for the start-up benchmark: the least a Qt Widgets program does to show a window.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    // Same size as the recorder's window, so both map comparable surfaces.
    window.setWindowTitle(QStringLiteral("bare-qt-window"));
    window.resize(480, 300);
    window.show();
    return app.exec();
}
