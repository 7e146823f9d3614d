#pragma once

#include "platform/MessageBox.h"

#include <QPointer>
#include <QWidget>

// QMessageBox for the styles the program uses: OK alone or Yes/No/Cancel, with one of the four
// icons. Esc and the close box give Cancel when there is one, otherwise OK.
class QtMessageBox : public MessageBox
{
public:
    int show(const QString &prompt, int style, const QString &title) override;

    void setParentWidget(QWidget *parent) { m_parent = parent; }

private:
    QPointer<QWidget> m_parent;
};
