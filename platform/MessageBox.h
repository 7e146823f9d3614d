#pragma once

#include <QString>

// A modal message box: prompt, style, title; returns the button pressed.
class MessageBox
{
public:
    // Style: buttons + icon + default button, added together.
    enum Style {
        OkOnly = 0,
        YesNoCancel = 3,
        Critical = 16,
        Question = 32,
        Exclamation = 48,
        Information = 64,
        DefaultButton1 = 0,
    };
    enum Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    virtual ~MessageBox() = default;
    virtual int show(const QString &prompt, int style, const QString &title) = 0;
};
