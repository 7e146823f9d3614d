#pragma once

#include <QColor>
#include <QLabel>

#include <optional>

// A label lying directly on a panel, below the panel's other controls. Where the panel paints one
// plain colour behind the whole label, the label fills its rectangle with that colour itself, so
// a new text repaints the label alone: the panel and its style sheet are not painted beneath it
// again. What shows is the same either way. Behind a gradient, a picture or a border the label
// stays transparent and the panel is painted beneath it as usual.
class PanelLabel : public QLabel
{
    Q_OBJECT

public:
    explicit PanelLabel(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void lookAgain();
    void lookAtPanel();

    std::optional<QColor> m_panelColour; // set while the label fills its rectangle itself
    bool m_lookPending = false;
};
