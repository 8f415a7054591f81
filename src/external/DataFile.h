#pragma once
// The menu data files ("GVEditors.dat", "GVImgwebs.dat", "GVSetwebs.dat"): one item a line,
// the target, the marker "<name>", then the display name; lines end in CR LF.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace gv {

struct MenuEntry {
    QString name;    // the display name (the menu caption)
    QString target;  // a program path or a web address (the menu item's tag)
    bool operator==(const MenuEntry&) const = default;
};

// Error numbers of a data file that cannot be read as one: a line that is no item (no
// marker, binary bytes), a file too large to be a menu, a file that cannot be opened.
inline constexpr int kBadLine = 5;
inline constexpr int kTooLarge = 7;
inline constexpr int kUnreadable = 75;

// Limits beyond which a file is damaged rather than a menu: no menu lists more items, and
// no program path or web address is that long. A menu file is a few KB; a larger file is
// not read at all.
inline constexpr qsizetype kMaxDataFileBytes = 1024 * 1024;
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;
inline constexpr qsizetype kMaxMenuItems = 10000;

struct DataFileContent {
    QList<MenuEntry> entries;  // the items read, up to the first damaged line
    int error = 0;             // 0, or the number of the fault that ended the reading
};

// One line, without its line end. Lines of spaces only and lines with exactly one side of
// spaces only give no item (an empty optional and no fault); a damaged line sets fault.
std::optional<MenuEntry> parseDataFileLine(QByteArrayView line, int& fault);
// A whole file. Lines may end in CR LF, LF or CR.
DataFileContent parseDataFile(QByteArrayView bytes);
// The file for the entries: each line target + "<name>" + name + CR LF, in UTF-8.
QByteArray formatDataFile(const QList<MenuEntry>& entries);
// Text of a line: UTF-8 when it is valid UTF-8, otherwise the Windows-1252 bytes of a file
// written by the update program or brought over from another system.
QString decodeDataFileText(QByteArrayView bytes);

}  // namespace gv
