#pragma once

#include "core/Flag.h"

#include <QString>

// The common dialog cdg. Filter is in the "description|pattern|description|pattern" form.
// After OK, FileName holds the full path chosen; after Cancel it keeps its value, and when
// CancelError is true the Show call raises the cancel error.
class CommonDialog
{
public:
    static constexpr int CancelErrorNumber = 32755;

    virtual ~CommonDialog() = default;

    virtual void setFilter(const QString &filter) = 0;
    virtual QString FileName() const = 0;
    virtual void setFileName(const QString &fileName) = 0;
    virtual void setCancelError(Flag cancelError) = 0;
    virtual void ShowOpen() = 0;
    virtual void ShowSave() = 0;
};
