// Writes the current style's four message-box icons as PNG files (information.png, question.png,
// warning.png, critical.png) into the folder given as the argument, at the size a message box
// draws them. The end-to-end tests compare a box's icon on screen with these.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QStyle>

#include <utility>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QStyle *style = QApplication::style();
    const int size = style->pixelMetric(QStyle::PM_MessageBoxIconSize);
    const std::pair<const char *, QStyle::StandardPixmap> icons[] = {
            {"information", QStyle::SP_MessageBoxInformation},
            {"question", QStyle::SP_MessageBoxQuestion},
            {"warning", QStyle::SP_MessageBoxWarning},
            {"critical", QStyle::SP_MessageBoxCritical},
    };
    for (const auto &[name, pixmap] : icons) {
        const QPixmap picture = style->standardIcon(pixmap).pixmap(QSize(size, size), 1.0);
        if (!picture.save(folder.filePath(QLatin1String(name) + QLatin1String(".png"))))
            return 1;
    }
    return 0;
}
