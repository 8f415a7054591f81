#pragma once
// External image editors: starting one on the shown file, proposing a friendly name for a
// chosen program, and the "Add Editor..." step of the options dialog's Editors tab.

#include <QString>
#include <QStringList>
#include <optional>

#include "external/DataFile.h"

class QWidget;

namespace gv {

class clsVarMenus;

// The friendly name proposed for a chosen editor program or desktop entry, from its file
// name in lower case; empty for a program that is not known.
QString proposedEditorName(const QString& fileName);

struct EditorCommand {
    QString program;
    QStringList arguments;
};
// The command of a desktop entry's Exec line with the image in place of its file field code
// (or after it when there is none); nothing when the entry has no usable Exec line.
std::optional<EditorCommand> desktopEntryCommand(const QString& entryText,
                                                 const QString& imagePath);

// The image editors installed on this desktop (GIMP, Krita, Inkscape, ...), each once: by
// its desktop entry where it has one, else by its program on the PATH.
QList<MenuEntry> installedEditors();

// Starts the editor (a program, or a desktop entry that names one) on the image, detached;
// "Cannot launch" when it does not exist or will not start. True when it started.
bool StartEditor(const QString& editor, const QString& imagePath);

// Asks for a program (or desktop entry) and a friendly name and adds it to the editors.
// Returns the new item's index, or -1 when nothing was added.
int AddEditor(clsVarMenus& editors, QWidget* owner = nullptr);

}  // namespace gv
