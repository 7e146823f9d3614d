#pragma once

// Whether one of the program's dialogs or boxes holds the user's input (a save under way
// included): a click on the main window would go nowhere now.
class UserInput
{
public:
    virtual ~UserInput() = default;
    virtual bool blocked() const = 0;
};
