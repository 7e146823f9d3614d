#include "app/SkinLoader.h"

#include "app/Skin.h"
#include "core/Skip.h"
#include "platform/ProgramFolder.h"

#include <QWidget>

SkinLoader::SkinLoader(Skin &Skin1, const ProgramFolder &programFolder, QWidget &frmMain)
    : m_skin(Skin1)
    , m_programFolder(programFolder)
    , m_frmMain(frmMain)
{}

void SkinLoader::LoadSkin(const QString &name)
{
    // Plain concatenation: the separator is always inserted.
    Skip::statement([&] { m_skin.load(m_programFolder.path() + QLatin1Char('/') + name); });
    Skip::statement([&] { m_skin.apply(m_frmMain.winId()); });
}
