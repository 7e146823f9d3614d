#pragma once

#include <QProgressBar>

// The input's level on a -60..0 dBFS scale: a thin bar, green up to -6 dBFS and red above.
// Screen readers get its value in whole decibels.
class LevelMeter : public QProgressBar
{
    Q_OBJECT

public:
    static constexpr int loudDb = -6;

    explicit LevelMeter(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
