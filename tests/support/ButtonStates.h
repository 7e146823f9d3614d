#pragma once

#include <QList>
#include <QString>

class FrmMainUi;
class QAbstractButton;

// The enabled state of the recorder's five buttons as "N R P S V" (New, Record, Play, Stop,
// Save): 1 for an enabled button, 0 for a disabled one. "1 1 1 0 1" is the ready state.
QString buttonStates(const QList<const QAbstractButton *> &buttons);
QString buttonStates(const FrmMainUi &ui);
