#pragma once
// The texts of the desktop entries Glimvane writes: its own entry, which the list of default
// applications names, and the launchers on the desktop.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace gv {

// The desktop id of Glimvane's own entry.
inline constexpr const char* kDesktopEntryId = "glimvane.desktop";
// The line that marks an entry as Glimvane's own work, which a later write may replace; an
// entry without it is the user's and is left alone.
inline constexpr const char* kOwnEntryMark = "X-Glimvane-Written=true";

// A program path as the start of an Exec line, quoted and escaped as desktop entries ask
// (blanks, quotes, "$", "%", backslashes, line ends); nothing for a path whose bytes are not
// UTF-8, which a desktop entry cannot hold.
std::optional<QString> execArgument(const QString& path);

// Glimvane's entry: it runs the program on the file opened, for the types it names.
std::optional<QByteArray> associationEntry(const QString& programPath,
                                           const QStringList& mimeTypes);
// A launcher named name for the program at target; withFile: it also opens a file dropped on it.
std::optional<QByteArray> launcherEntry(const QString& name, const QString& target, bool withFile);

// Whether the text is an entry that Glimvane wrote.
bool isOwnEntry(const QByteArray& text);

}  // namespace gv
