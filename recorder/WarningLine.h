#pragma once

#include <QList>
#include <QString>

#include <array>

class QLabel;
class QWidget;

// The red line of the status panel, in the level meter's place, for what the user must know
// while recording. Each source sets and clears a text of its own; the most urgent active one is
// shown, and a screen reader (or the tool tip) gets all of them. A new source is one more
// value of Source and its set() and clear() calls.
class WarningLine
{
public:
    // The most urgent first.
    enum Source {
        LowSpace,  // the take will soon fill the disk
        SoundLost, // sound never arrived: silence stands in for it
        NoSignal,  // no sound arrives
        SourceCount
    };

    WarningLine(QLabel *label, QList<QWidget *> displaced);

    void set(Source source, const QString &text);
    void clear(Source source);
    bool isEmpty() const;
    // Only while on does the line show; off hides it and keeps the texts.
    void setOn(bool on);

private:
    void show();

    QLabel *m_label;
    QList<QWidget *> m_displaced;             // what the line takes the place of while it shows
    std::array<QString, SourceCount> m_texts; // empty: that source has nothing to say
    bool m_on = false;
};
