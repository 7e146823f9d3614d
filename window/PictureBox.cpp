#include "window/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

PictureBox::PictureBox(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    // The window-background system colour: white in the default palette, unlike QPalette::Window.
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
    setAutoFillBackground(true);
}

void PictureBox::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    if (testAttribute(Qt::WA_OpaquePaintEvent)) {
        // Qt leaves the background to this box: the skin's, or the palette's without a skin.
        QPainter background(this);
        if (testAttribute(Qt::WA_StyledBackground)) {
            QStyleOption option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_Widget, &option, &background, this);
        } else {
            background.fillRect(event->rect(), palette().brush(backgroundRole()));
        }
    }
    QFrame::paintEvent(event);
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    const QRect inside = contentsRect();
    painter.setClipRect(inside);
    painter.drawPixmap(inside.topLeft(), m_picture);
}

void PictureBox::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        // An opaque box hides what lies under it, so a repaint inside it (the running clock's
        // text) need not paint the window and the frame beneath first.
        setAttribute(Qt::WA_OpaquePaintEvent, palette().brush(backgroundRole()).isOpaque());
    }
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QFrame::mousePressEvent(event);
        return;
    }
    // Accepting the press makes the release come here too.
    m_leftPressed = true;
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_leftPressed) {
        QFrame::mouseReleaseEvent(event);
        return;
    }
    m_leftPressed = false;
    event->accept();
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}
