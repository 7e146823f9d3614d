#include "recorder/WarningLine.h"

#include <QLabel>
#include <QStringList>

#include <algorithm>

WarningLine::WarningLine(QLabel *label, QList<QWidget *> displaced)
    : m_label(label)
    , m_displaced(std::move(displaced))
{}

void WarningLine::set(Source source, const QString &text)
{
    if (m_texts[source] == text)
        return;
    m_texts[source] = text;
    show();
}

void WarningLine::clear(Source source)
{
    set(source, QString());
}

bool WarningLine::isEmpty() const
{
    return std::all_of(m_texts.begin(), m_texts.end(), [](const QString &text) {
        return text.isEmpty();
    });
}

void WarningLine::setOn(bool on)
{
    m_on = on;
    show();
}

void WarningLine::show()
{
    QStringList active;
    for (const QString &text : m_texts) {
        if (!text.isEmpty())
            active << text;
    }
    const bool showing = m_on && !active.isEmpty();
    if (!active.isEmpty()) {
        m_label->setText(active.constFirst());
        // one text: the label's own is its name; several: all of them
        const QString all = active.size() > 1 ? active.join(QStringLiteral("；")) : QString();
        m_label->setAccessibleName(all);
        m_label->setToolTip(all);
    }
    m_label->setVisible(showing);
    if (showing) {
        for (QWidget *widget : std::as_const(m_displaced))
            widget->hide();
    }
}
