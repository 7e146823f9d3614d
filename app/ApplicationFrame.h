#pragma once

#include <QtGlobal>

#include <functional>

class InstanceGuard;
class MediaControl;
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

    ApplicationFrame(RecorderController &recorder,
                     MediaControl &MMCRecord,
                     QAbstractButton &cmdStop,
                     Services services);

    // The program was started with a command: when another copy runs, the command goes to it
    // instead of the "already running" box. handOver gives the status this copy ends with.
    void setHandOver(std::function<int()> handOver) { m_handOver = std::move(handOver); }

    // Skips errors: every start-up step runs even when an earlier one failed.
    void Form_Load();
    // Once the window shows: offers the recordings earlier runs left unsaved, newest first.
    // Skips errors.
    void OfferLeftoverTakes();
    // Every request to close the window is refused.
    static void Form_Unload(qint16 &Cancel);
    // Lets errors pass to its caller.
    void ExitApplication();
    // The session is ending (logout, shutdown): the take so far goes on disk for the next start,
    // then the program ends. Skips errors.
    void Terminate();

private:
    // An end the user chose: the recording goes with the program, its spool included.
    void endProgram();

    RecorderController &m_recorder;
    MediaControl &m_MMCRecord;
    QAbstractButton &m_cmdStop;
    Services m_services;
    std::function<int()> m_handOver;
};
