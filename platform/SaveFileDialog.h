#pragma once

#include <QFileDialog>
#include <QStringList>

// Qt's own file dialog for saving, which settles the file's extension before it accepts: a name
// typed with one of the filters' extensions (in any case) keeps it; a name with none, or with
// any other, gets the selected filter's. Qt's question about replacing an existing file then
// names the file that will be written.
class SaveFileDialog : public QFileDialog
{
public:
    // nameFilters as Qt shows them; extensions beside them, one a filter ("wav"; empty for a
    // filter that names no single extension).
    SaveFileDialog(QWidget *parent, const QStringList &nameFilters, const QStringList &extensions);

    // "第1.5节", {"wav", "mp3"}, "wav" -> "第1.5节.wav"; "take.MP3" stays as it is.
    static QString withExtension(const QString &path,
                                 const QStringList &known,
                                 const QString &selected);

    void accept() override;

private:
    QStringList m_nameFilters;
    QStringList m_extensions;
};
