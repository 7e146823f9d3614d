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

    void cmdMp3Conv_Click();   // the software download page (the MP3 converter)
    void cmdTuLing_Click();    // the ringtones page; also the last step of every save
    void cmdTV_Click();        // the film/TV page
    void picOrbanet_Click();   // the banner: the home page
    void ShowHelp();           // the read-me in the desktop's text viewer
    void cmdSetRecord_Click(); // the sound server's mixer, on its recording sources
    void picZZ_Click();        // the expander: grows the window once to show the lower band

private:
    Launcher &m_launcher;
    const ProgramFolder &m_programFolder;
    Window m_window;
};
