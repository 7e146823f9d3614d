#pragma once

#include "platform/Platform.h"

class QWidget;
class QtCommonDialog;
class QtMessageBox;
class QtProgressDialog;

// Every real platform service, made in one go. The dialogs and the message box stay reachable as
// their own types so that the main window can become their parent once it exists; those
// references stay valid as long as whoever holds the services keeps them.
class RealPlatform
{
public:
    RealPlatform();

    Platform &services() { return m_services; }
    QtCommonDialog &commonDialog() const { return *m_commonDialog; }
    QtMessageBox &messageBox() const { return *m_messageBox; }

    // Parents the dialogs and the message box.
    void setParentWidget(QWidget *parent);

private:
    Platform m_services;
    QtCommonDialog *m_commonDialog; // owned by m_services.cdg
    QtMessageBox *m_messageBox;     // owned by m_services.messageBox
    QtProgressDialog *m_progress;   // owned by m_services.progress
};
