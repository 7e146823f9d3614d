#include "WaveWindow.h"

#include "ButtonStates.h"

#include "SyntheticAudioInput.h"
#include "SyntheticAudioOutput.h"

#include <QPushButton>
#include <QTest>

WaveWindow::WaveWindow(Sound sound, std::unique_ptr<FreeSpace> freeSpace)
{
    if (freeSpace)
        fakes.platform.freeSpace = std::move(freeSpace);
    if (sound == Sound::Synthetic) {
        auto in = std::make_unique<SyntheticAudioInput>();
        auto out = std::make_unique<SyntheticAudioOutput>();
        input = in.get();
        output = out.get();
        media = std::make_unique<WaveMediaControl>(std::move(in), std::move(out));
    } else {
        media = std::make_unique<WaveMediaControl>();
    }
    frmMain = std::make_unique<FrmMain>(fakes.platform, *media, fakes.waveDevice);
    frmMain->Form_Load();
    frmMain->show();
}

QString WaveWindow::buttons() const
{
    return buttonStates(ui());
}

bool WaveWindow::click(QPushButton *button)
{
    if (!button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}
