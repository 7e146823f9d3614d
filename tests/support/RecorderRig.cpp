#include "RecorderRig.h"

#include "ButtonStates.h"

namespace {
RecorderControls controlsOf(RecorderRig &rig)
{
    RecorderControls c;
    c.MMCRecord = &rig.media;
    c.cdg = &rig.fakes.cdg;
    c.LblFile = rig.LblFile;
    c.Lblread = rig.Lblread;
    c.TimerBar = rig.TimerBar;
    c.cmdNew = rig.cmdNew;
    c.cmdRecord = rig.cmdRecord;
    c.cmdPlay = rig.cmdPlay;
    c.cmdStop = rig.cmdStop;
    c.cmdSave = rig.cmdSave;
    c.levelMeter = rig.levelMeter;
    c.clipMark = rig.clipMark;
    c.lblWarning = rig.lblWarning;
    return c;
}
} // namespace

RecorderRig::RecorderRig()
    : LblFile(new QLabel(QStringLiteral("文件："), &window))
    , Lblread(new QLabel(QStringLiteral("当前状态："), &window))
    , TimerBar(new QTimer(&window))
    , cmdNew(new QPushButton(QStringLiteral("新建"), &window))
    , cmdRecord(new QPushButton(QStringLiteral("录音"), &window))
    , cmdPlay(new QPushButton(QStringLiteral("播放"), &window))
    , cmdStop(new QPushButton(QStringLiteral("停止"), &window))
    , cmdSave(new QPushButton(QStringLiteral("保存"), &window))
    , levelMeter(new QProgressBar(&window))
    , clipMark(new QLabel(&window))
    , lblWarning(new QLabel(&window))
    , recorder(controlsOf(*this),
               {fakes.messageBox,
                fakes.clock,
                fakes.waveDevice,
                fakes.sleepInhibitor,
                fakes.progress,
                fakes.freeSpace,
                [this] {
                    ++tuLingClicks;
                }})
{
    TimerBar->setInterval(200);
    cmdStop->setEnabled(false);
}

QList<QPushButton *> RecorderRig::recorderButtons() const
{
    return {cmdNew, cmdRecord, cmdPlay, cmdStop, cmdSave};
}

QString RecorderRig::buttons() const
{
    return buttonStates({cmdNew, cmdRecord, cmdPlay, cmdStop, cmdSave});
}

void RecorderRig::setButtons(const QString &pattern)
{
    const QStringList states = pattern.split(QLatin1Char(' '));
    const QList<QPushButton *> all = recorderButtons();
    for (int i = 0; i < all.size(); ++i)
        all[i]->setEnabled(states.value(i) == QLatin1String("1"));
}
