#pragma once

#include <QString>

class ProgramFolder;
class QWidget;
class Skin;

// Loads a skin from the program's folder and applies it to the main window.
class SkinLoader
{
public:
    SkinLoader(Skin &Skin1, const ProgramFolder &programFolder, QWidget &frmMain);

    // Skips errors: a skin that cannot be loaded is passed over silently, and the apply step
    // runs all the same.
    void LoadSkin(const QString &name);

private:
    Skin &m_skin;
    const ProgramFolder &m_programFolder;
    QWidget &m_frmMain;
};
