#include "platform/QtUserInput.h"

#include "platform/QtProgressDialog.h"

#include <QApplication>

bool QtUserInput::blocked() const
{
    return QApplication::activeModalWidget() != nullptr || m_progress.isRunning();
}
