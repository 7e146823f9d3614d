#pragma once

#include <QFrame>
#include <QPixmap>

// A picture box: a white panel with a flat one-pixel border that shows its picture at natural size
// from the top-left corner inside the border, and may hold other controls.
class PictureBox : public QFrame
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    const QPixmap &picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_picture;
    bool m_leftPressed = false; // a click needs both the press and the release here
};
