#include "window/LevelMeter.h"

#include <QEvent>
#include <QPainter>

namespace {

const QColor trough(0xE4, 0xE4, 0xE4);
const QColor quiet(0x2E, 0xA0, 0x43);
const QColor loud(0xD9, 0x30, 0x25);

} // namespace

LevelMeter::LevelMeter(QWidget *parent)
    : QProgressBar(parent)
{
    setRange(-60, 0);
    setValue(-60);
    setTextVisible(false);
    // The base class repaints only for changes it thinks visible, judged by its own painting,
    // which this class replaces: readings from -4 to -1 dBFS were left undrawn.
    connect(this, &QProgressBar::valueChanged, this, qOverload<>(&QWidget::update));
}

bool LevelMeter::event(QEvent *event)
{
    const bool handled = QProgressBar::event(event);
    // Every pixel is painted below, so the panel and the file's label underneath need not be
    // painted again at each of the ten readings a second. Styles that round a progress bar's
    // corners clear this when they polish it, so it is set again after them.
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        setAttribute(Qt::WA_OpaquePaintEvent);
    return handled;
}

void LevelMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, trough);
    const auto xAt = [&](int db) {
        return area.left() + area.width() * (db - minimum()) / (maximum() - minimum());
    };
    const int level = xAt(value());
    const int loudFrom = xAt(loudDb);
    painter.fillRect(QRect(QPoint(area.left(), area.top()),
                           QPoint(std::min(level, loudFrom) - 1, area.bottom())),
                     quiet);
    if (level > loudFrom)
        painter.fillRect(QRect(QPoint(loudFrom, area.top()), QPoint(level - 1, area.bottom())),
                         loud);
}
