#include "ButtonStates.h"

#include "window/FrmMainUi.h"

#include <QPushButton>
#include <QStringList>

QString buttonStates(const QList<const QAbstractButton *> &buttons)
{
    QStringList states;
    for (const QAbstractButton *button : buttons)
        states << (button->isEnabled() ? QStringLiteral("1") : QStringLiteral("0"));
    return states.join(QLatin1Char(' '));
}

QString buttonStates(const FrmMainUi &ui)
{
    return buttonStates({ui.cmdNew, ui.cmdRecord, ui.cmdPlay, ui.cmdStop, ui.cmdSave});
}
