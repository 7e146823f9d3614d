#pragma once

#include "platform/ProgressDialog.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QProgressDialog;
class QWidget;

// Qt's own QProgressDialog, window-modal over the parent, its bar saying "已完成 N%". Until it
// shows, the parent's window takes no clicks or keys all the same; other windows always do.
class QtProgressDialog : public QObject, public ProgressDialog
{
    Q_OBJECT

public:
    QtProgressDialog();
    ~QtProgressDialog() override;

    void begin(const QString &label, std::function<void()> cancel) override;
    void setProgress(qint64 done, qint64 total) override;
    void end() override;

    void setParentWidget(QWidget *parent) { m_parent = parent; }
    // Between begin() and end(), shown or not yet.
    bool isRunning() const { return m_dialog != nullptr; }
    // The dialog while one is up; for tests.
    QProgressDialog *dialog() const { return m_dialog.get(); }

protected:
    // Keeps clicks and keys from the parent's window while a task runs, until Cancel.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_parent;
    std::unique_ptr<QProgressDialog> m_dialog;
    QTimer m_showLater;
    std::function<void()> m_cancel;
};
