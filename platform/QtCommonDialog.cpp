#include "platform/QtCommonDialog.h"

#include "core/TapewrenError.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

const QString QtCommonDialog::cancelErrorText = QStringLiteral("已选择“取消”。");

QStringList QtCommonDialog::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(u'|');
    // A description without its pattern is dropped.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        for (QString &pattern : patterns)
            pattern = pattern.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty())
            continue;
        const QString description = parts.at(i).trimmed();
        const QString list = patterns.join(u' ');
        result << (description.isEmpty() ? list : description) + QStringLiteral(" (") + list + u')';
    }
    return result;
}

QString QtCommonDialog::defaultSuffix(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    if (parts.size() < 2)
        return {};
    const QString first = parts.at(1).split(u';', Qt::SkipEmptyParts).value(0).trimmed();
    static const QRegularExpression plainExtension(QStringLiteral(R"(^\*\.([^*?.\[\]]+)$)"));
    return plainExtension.match(first).captured(1);
}

void QtCommonDialog::ShowOpen()
{
    show(QFileDialog::AcceptOpen);
}

void QtCommonDialog::ShowSave()
{
    show(QFileDialog::AcceptSave);
}

void QtCommonDialog::show(QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    const QStringList filters = nameFilters(m_filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // The dialog adds it before it asks about replacing, so the question is about the final name.
    if (mode == QFileDialog::AcceptSave)
        dialog.setDefaultSuffix(defaultSuffix(m_filter));
    dialog.setDirectory(startFolder());
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);

    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_fileName = dialog.selectedFiles().constFirst();
        m_lastFolder = QFileInfo(m_fileName).absolutePath();
        return;
    }
    if (m_cancelError == FlagTrue)
        throw TapewrenError(CancelErrorNumber, cancelErrorText);
}

QString QtCommonDialog::startFolder() const
{
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        return m_lastFolder;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir())
        return music;
    return QDir::homePath();
}
