#pragma once

#include "platform/CommonDialog.h"

#include <QFileDialog>
#include <QPointer>
#include <QStringList>

// Qt's own file dialog, modal over the parent widget. The Save dialog gives a name the selected
// filter's extension unless it has one of the filters' own (SaveFileDialog) and asks before
// replacing the file so named; the Open dialog takes existing files only. The first dialog opens in the user's Music folder (else home), later ones
// in the folder of the file last chosen: never the working folder, which may be "/".
class QtCommonDialog : public CommonDialog
{
public:
    static const QString cancelErrorText;

    void setFilter(const QString &filter) override { m_filter = filter; }
    QString FileName() const override { return m_fileName; }
    void setFileName(const QString &fileName) override { m_fileName = fileName; }
    void setCancelError(Flag cancelError) override { m_cancelError = cancelError; }
    void ShowOpen() override;
    void ShowSave() override;

    void setParentWidget(QWidget *parent) { m_parent = parent; }

    // "Sound|*.wav;*.wave|All|*.*" -> {"Sound (*.wav *.wave)", "All (*.*)"}
    static QStringList nameFilters(const QString &filter);
    // "Sound|*.wav;*.wave|All|*.*" -> {"wav", ""}: the extension of each filter's first pattern,
    // empty where it names no single one.
    static QStringList extensions(const QString &filter);

private:
    void show(QFileDialog &dialog);
    QString startFolder() const;

    QPointer<QWidget> m_parent;
    QString m_filter;
    QString m_fileName;
    QString m_lastFolder; // of the file last chosen in this run
    Flag m_cancelError = FlagFalse;
};
