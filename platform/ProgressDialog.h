#pragma once

#include <QString>

#include <functional>

// Shows how far a long task has got and lets the user cancel it. Between begin() and end(), or
// until Cancel, the main window takes no clicks or keys; the dialog and any message box that
// comes up meanwhile do. The dialog itself appears only once the task has run for half a
// second, so a short task shows nothing at all.
class ProgressDialog
{
public:
    virtual ~ProgressDialog() = default;
    // label says what runs; cancel is called when the user asks to stop it.
    virtual void begin(const QString &label, std::function<void()> cancel) = 0;
    virtual void setProgress(qint64 done, qint64 total) = 0;
    virtual void end() = 0;
};
