#pragma once

class Launcher;
class ProgramFolder;
class QWidget;

// The window's outward actions: the maker's web pages, the read-me, the system's recording
// source controls, and the expander that shows the lower band once. All skip errors silently.
class Links
{
public:
    struct Window
    {
        QWidget *frmMain = nullptr;
        QWidget *picOrbanet = nullptr;
        QWidget *picZZ = nullptr;
    };

    Links(Launcher &launcher, const ProgramFolder &programFolder, const Window &window);

    void cmdMp3Conv_Click();
    void cmdTuLing_Click();
    void cmdTV_Click();
    void picOrbanet_Click();
    void ShowHelp();
    void cmdSetRecord_Click();
    void picZZ_Click();

private:
    Launcher &m_launcher;
    const ProgramFolder &m_programFolder;
    Window m_window;
};
