#include "window/PanelLabel.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {

// The colour of every pixel, when they are all the same and opaque.
std::optional<QColor> oneOpaqueColour(const QImage &image)
{
    const QRgb first = image.pixel(0, 0);
    if (qAlpha(first) != 255)
        return std::nullopt;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != first)
                return std::nullopt;
        }
    }
    return QColor::fromRgb(first);
}

} // namespace

PanelLabel::PanelLabel(QWidget *parent)
    : QLabel(parent)
{
    if (parent)
        parent->installEventFilter(this);
}

bool PanelLabel::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentAboutToChange:
        if (parentWidget())
            parentWidget()->removeEventFilter(this);
        break;
    case QEvent::ParentChange:
        if (parentWidget())
            parentWidget()->installEventFilter(this);
        lookAgain();
        break;
    case QEvent::Polish:
    case QEvent::Move:
    case QEvent::Resize:
        lookAgain();
        break;
    default:
        break;
    }
    return QLabel::event(event);
}

bool PanelLabel::eventFilter(QObject *watched, QEvent *event)
{
    // What can change the panel's look: the skin, its palette and state, the window's activation.
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::Resize:
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        lookAgain();
        break;
    default:
        break;
    }
    return QLabel::eventFilter(watched, event);
}

void PanelLabel::paintEvent(QPaintEvent *event)
{
    if (m_panelColour && testAttribute(Qt::WA_OpaquePaintEvent)) {
        // Qt leaves out the panel beneath and this label's own background: painted as it would.
        QPainter painter(this);
        painter.fillRect(event->rect(), *m_panelColour);
        if (autoFillBackground())
            painter.fillRect(event->rect(), palette().brush(backgroundRole()));
        if (testAttribute(Qt::WA_StyledBackground)) {
            QStyleOption option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
        }
    }
    QLabel::paintEvent(event);
}

void PanelLabel::lookAgain()
{
    // Until then the panel is painted beneath, which shows whatever it looks like now.
    m_panelColour.reset();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (m_lookPending)
        return;
    // Once the change has reached every control, the skin's included.
    m_lookPending = true;
    QMetaObject::invokeMethod(this, &PanelLabel::lookAtPanel, Qt::QueuedConnection);
}

void PanelLabel::lookAtPanel()
{
    m_lookPending = false;
    QWidget *panel = parentWidget();
    if (!panel || size().isEmpty())
        return;
    // The panel alone, painted into an image where the label lies; what it leaves unpainted
    // stays transparent.
    const qreal ratio = panel->devicePixelRatioF();
    QImage beneath(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    beneath.setDevicePixelRatio(ratio);
    beneath.fill(Qt::transparent);
    panel->render(&beneath, QPoint(), QRegion(geometry()), QWidget::RenderFlags());
    m_panelColour = oneOpaqueColour(beneath);
    setAttribute(Qt::WA_OpaquePaintEvent, m_panelColour.has_value());
}
