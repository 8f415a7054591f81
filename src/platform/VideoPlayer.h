#pragma once
// Playing a video full screen with the desktop's default player for its type.

#include <QString>
#include <QStringList>

namespace gv {

// The program and arguments that play the file full screen with the player of the desktop
// entry (mpv, VLC, Totem); empty for a player whose full-screen option is not known here.
QStringList fullScreenPlayerCommand(const QString& desktopEntry, const QString& file);
// The desktop's default player for the file's type, full screen where it is known; otherwise
// the file is opened as the desktop opens it. False when nothing took it.
bool playVideoFullScreen(const QString& file);

}  // namespace gv
