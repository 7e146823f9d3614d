#include "platform/QtCommonDialog.h"

#include "core/TapewrenError.h"
#include "platform/SaveFileDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// A filter field's patterns ("*.wav; *.flac"), blanks dropped.
QStringList patternsIn(const QString &field)
{
    QStringList patterns = field.split(u';', Qt::SkipEmptyParts);
    for (QString &pattern : patterns)
        pattern = pattern.trimmed();
    patterns.removeAll(QString());
    return patterns;
}

} // namespace

const QString QtCommonDialog::cancelErrorText = QStringLiteral("已选择“取消”。");

QStringList QtCommonDialog::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(u'|');
    // A description without its pattern is dropped.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = patternsIn(parts.at(i + 1));
        if (patterns.isEmpty())
            continue;
        const QString description = parts.at(i).trimmed();
        const QString list = patterns.join(u' ');
        result << (description.isEmpty() ? list : description) + QStringLiteral(" (") + list + u')';
    }
    return result;
}

QStringList QtCommonDialog::extensions(const QString &filter)
{
    static const QRegularExpression plainExtension(QStringLiteral(R"(^\*\.([^*?.\[\]]+)$)"));
    QStringList result;
    const QStringList parts = filter.split(u'|');
    // the same pairs nameFilters() keeps
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = patternsIn(parts.at(i + 1));
        if (!patterns.isEmpty())
            result << plainExtension.match(patterns.constFirst()).captured(1);
    }
    return result;
}

void QtCommonDialog::ShowOpen()
{
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (const QStringList filters = nameFilters(m_filter); !filters.isEmpty())
        dialog.setNameFilters(filters);
    show(dialog);
}

void QtCommonDialog::ShowSave()
{
    // the extension is settled before Qt asks about replacing, so the question names the file
    SaveFileDialog dialog(m_parent, nameFilters(m_filter), extensions(m_filter));
    show(dialog);
}

void QtCommonDialog::show(QFileDialog &dialog)
{
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
