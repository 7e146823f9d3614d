#pragma once

#include "platform/CommonDialog.h"

#include <QFileDialog>
#include <QPointer>
#include <QStringList>

// Qt's own file dialog, modal over the parent widget. The Save dialog asks before replacing a
// file; the Open dialog takes existing files only. No suffix is added.
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

private:
    void show(QFileDialog::AcceptMode mode);

    QPointer<QWidget> m_parent;
    QString m_filter;
    QString m_fileName;
    Flag m_cancelError = FlagFalse;
};
