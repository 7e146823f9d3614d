#pragma once

#include <QString>
#include <QWidget>

// Tapewren's skin component: a skin file holds a Qt style sheet as UTF-8 text. Loading reads
// and checks the file; applying puts the loaded sheet on a window found by its native handle.
class Skin
{
public:
    // Larger files are refused: no real skin comes near this.
    static constexpr qint64 MaxFileSize = 256 * 1024;

    // Raises TapewrenError when the file is missing, unreadable, too large or not UTF-8 text;
    // the previously loaded sheet then stays.
    void load(const QString &path);
    // Raises TapewrenError when no window of this program has that handle.
    void apply(WId window) const;

    const QString &styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
};
