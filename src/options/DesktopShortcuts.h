#pragma once
// Launchers on the user's desktop for the program and its update program.

#include <QString>
#include <QStringList>

namespace gv {

// Writes an executable launcher named name for target into the desktop folder (the user's,
// when none is given); opensFiles: a file dropped on it is handed to the program. Returns its
// path, or an empty string when none was written: no desktop folder, a name that cannot be
// written, or a file of that name that is not Glimvane's own (which stays as it is).
QString CreateDesktopShortcut(const QString& target, const QString& name,
                              const QString& desktopFolder = QString(), bool opensFiles = false);

// The launchers of the first-start question and "Add Desktop Icon": "Glimvane", and
// "Glimvane Update" where the update program is installed. Returns the launchers written.
QStringList CreateDesktopIcons(const QString& desktopFolder = QString());

}  // namespace gv
