#include "platform/SaveFileDialog.h"

#include <QFileInfo>
#include <QLineEdit>

SaveFileDialog::SaveFileDialog(QWidget *parent,
                               const QStringList &nameFilters,
                               const QStringList &extensions)
    : QFileDialog(parent)
    , m_nameFilters(nameFilters)
    , m_extensions(extensions)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    if (!nameFilters.isEmpty())
        setNameFilters(nameFilters);
}

QString SaveFileDialog::withExtension(const QString &path,
                                      const QStringList &known,
                                      const QString &selected)
{
    const QString suffix = QFileInfo(path).suffix();
    if (selected.isEmpty() || (!suffix.isEmpty() && known.contains(suffix, Qt::CaseInsensitive)))
        return path;
    return path + u'.' + selected;
}

void SaveFileDialog::accept()
{
    // Qt asks about replacing, and returns, the name in the name box: put the final one there
    auto *nameBox = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    const QStringList typed = selectedFiles();
    if (nameBox && typed.size() == 1 && !nameBox->text().isEmpty()
        && !QFileInfo(typed.first()).isDir()) {
        const QString selected = m_extensions.value(m_nameFilters.indexOf(selectedNameFilter()));
        const QString final = withExtension(typed.first(), m_extensions, selected);
        if (final != typed.first()) {
            // a file listed under the name as typed may be selected, and a selection wins
            // over the name box: selectFile() clears it
            selectFile(final);
            nameBox->setText(final);
        }
    }
    QFileDialog::accept();
}
