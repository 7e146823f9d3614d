#pragma once

#include "platform/UserInput.h"

class QtProgressDialog;

// A modal widget is up (message box, file dialog), or a task with its progress dialog runs.
class QtUserInput : public UserInput
{
public:
    explicit QtUserInput(const QtProgressDialog &progress)
        : m_progress(progress)
    {}
    bool blocked() const override;

private:
    const QtProgressDialog &m_progress;
};
