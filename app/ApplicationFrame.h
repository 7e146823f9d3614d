#pragma once

#include <QtGlobal>

class InstanceGuard;
class MessageBox;
class ProgramEnd;
class QAbstractButton;
class RecorderController;
class SkinLoader;

// Start-up, exit and the refusal of close requests.
class ApplicationFrame
{
public:
    struct Services
    {
        InstanceGuard &instanceGuard;
        MessageBox &messageBox;
        ProgramEnd &programEnd;
        SkinLoader &skinLoader;
    };

    ApplicationFrame(RecorderController &recorder, QAbstractButton &cmdStop, Services services);

    // Skips errors: every start-up step runs even when an earlier one failed.
    void Form_Load();
    // Every request to close the window is refused.
    static void Form_Unload(qint16 &Cancel);
    // Lets errors pass to its caller.
    void ExitApplication();

private:
    RecorderController &m_recorder;
    QAbstractButton &m_cmdStop;
    Services m_services;
};
