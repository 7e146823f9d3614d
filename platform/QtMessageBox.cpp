#include "platform/QtMessageBox.h"

#include <QAbstractButton>
#include <QList>
#include <QMessageBox>
#include <QPushButton>

namespace {

constexpr int buttonsMask = 0x0F;
constexpr int iconMask = 0x70;
constexpr int defaultButtonMask = 0x300;
constexpr int defaultButtonShift = 8;

QMessageBox::Icon iconFor(int style)
{
    switch (style & iconMask) {
    case MessageBox::Critical:
        return QMessageBox::Critical;
    case MessageBox::Question:
        return QMessageBox::Question;
    case MessageBox::Exclamation:
        return QMessageBox::Warning;
    case MessageBox::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int answerFor(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Yes:
        return MessageBox::Yes;
    case QMessageBox::No:
        return MessageBox::No;
    case QMessageBox::Cancel:
        return MessageBox::Cancel;
    default:
        return MessageBox::Ok;
    }
}

} // namespace

int QtMessageBox::show(const QString &prompt, int style, const QString &title)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt);
    box.setIcon(iconFor(style));

    QList<QPushButton *> buttons;
    QPushButton *escape = nullptr;
    if ((style & buttonsMask) == YesNoCancel) {
        buttons << box.addButton(QMessageBox::Yes) << box.addButton(QMessageBox::No)
                << box.addButton(QMessageBox::Cancel);
        escape = buttons.last();
    } else {
        buttons << box.addButton(QMessageBox::Ok);
        escape = buttons.first();
    }
    // Esc and the close box both end in the escape button.
    box.setEscapeButton(escape);
    const int defaultIndex = (style & defaultButtonMask) >> defaultButtonShift;
    box.setDefaultButton(buttons.value(defaultIndex, buttons.first()));

    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    return answerFor(box.standardButton(clicked ? clicked : escape));
}
