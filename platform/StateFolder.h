#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where the program keeps what must outlive a crash: $XDG_STATE_HOME/tapewren, or
// ~/.local/state/tapewren when that is unset. On disk, never in a memory-backed folder.
namespace StateFolder {

QString path(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

} // namespace StateFolder
