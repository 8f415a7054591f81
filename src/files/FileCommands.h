#pragma once
// The arithmetic of the main window's file and folder commands: which paths the selected
// files make, what the user is asked, where the selection goes after a delete, which folder
// names are refused.

#include <QList>
#include <QString>
#include <QStringList>

namespace gv {

struct SelectedFiles {
    QString list;  // the full paths, separated by one NUL each
    int count = 0;
};

// The full paths of the selected names of folder, in list order.
SelectedFiles selectedFileList(const QString& folder, const QStringList& selectedNames);
// "Please select where you would like to copy photo.jpg to." / "... these 3 files to."
QString destinationQuestion(bool move, int count, const QString& currentName);
// The row to select after a delete took row k out of a list that now holds count rows:
// the one before it, else the one that took its place, else -1 (nothing left to show).
int rowAfterDelete(int k, int count);

inline constexpr const char* kBadFolderNameMessage =
    "Directory Names cannot include the characters: \\, /, ?, |, \", <,>, *, :";
// The first character that a folder name may not have, or a null QChar.
QChar forbiddenFolderChar(const QString& name);
// Makes the folder; returns an empty text, or the message that says why it failed.
QString createFolder(const QString& parent, const QString& name);
// The folder that holds path: its text up to and including the last "/".
QString parentFolderOf(const QString& path);

}  // namespace gv
