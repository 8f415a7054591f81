#pragma once
// Reading and editing the desktop's lists of default applications (mimeapps.list, and the
// older defaults.list and mimeinfo.cache) as text. An edit changes one line and leaves every
// other byte of the file as it was: comments, other groups, other types, line ends.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace gv::mimeapps {

inline constexpr const char* kDefaultGroup = "Default Applications";
inline constexpr const char* kCacheGroup = "MIME Cache";

// Where a list stops being a key file the desktop can read: the first bad line (counted from
// 1) and its text. Line 0 when the whole list is fine.
struct Damage {
    int line = 0;
    QString text;
};
Damage findDamage(const QByteArray& list);

// The line that names the type's default applications in the group, without its line end;
// nothing when the group has no such line. Types are compared without regard to case.
std::optional<QByteArray> entryLine(const QByteArray& list, const QByteArray& mimeType,
                                    const char* group = kDefaultGroup);
// The desktop entries a line names, in order ("a.desktop;b.desktop;").
QStringList idsOf(const QByteArray& line);
// The line that makes id the type's default.
QByteArray lineFor(const QByteArray& mimeType, const QString& id);

// The list with the type's default line replaced by line: added at the end of the group
// (the group added at the end of the list when it has none), or removed when line is
// nothing, together with a group left without lines.
QByteArray withEntryLine(const QByteArray& list, const QByteArray& mimeType,
                         const std::optional<QByteArray>& line);

// The type's default application as the desktop finds it: the first installed entry that a
// list names, the lists asked in order (each with the group it keeps defaults in); empty
// when no list names an installed one.
struct List {
    QByteArray text;
    const char* group = kDefaultGroup;
};
QString defaultApplication(const QList<List>& lists, const QByteArray& mimeType,
                           const std::function<bool(const QString& id)>& installed);

}  // namespace gv::mimeapps
