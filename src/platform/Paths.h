#pragma once
// The program's folder, path joining and volumes ("drives").

#include <QString>
#include <QStringList>

namespace gv {

inline constexpr const char* kExecutableName = "glimvane";
inline constexpr const char* kRecoverName = "gvrecover";
inline constexpr const char* kUpdateName = "gvupdate";

// The folder of the running executable, or $GLIMVANE_PROGRAM_DIR when set.
QString programFolder();
// The program's folder joined to the executable's name.
QString programPath();
// Joins a folder and a name with one separator, never doubling it at a root.
QString joinPath(const QString& folder, const QString& name);
// Where the program writes its own files: the program's folder when writable, else
// $XDG_DATA_HOME/Glimvane.
QString writableDataFolder();
// The file of that name that the program reads back: the one it wrote in the data folder
// when its own folder is not writable, otherwise (or when it wrote none yet) the one in the
// program's folder.
QString programFileForReading(const QString& name);
// Whether the program's own folder can be written.
bool programFolderWritable();

// The root of the volume that holds the path ("/" for the root file system).
QString volumeRoot(const QString& path);
// The roots of the mounted, ready volumes, in the order the system lists them.
QStringList volumeRoots();
// A volume is available when it is mounted at root, ready and readable.
bool isVolumeAvailable(const QString& root);

}  // namespace gv
