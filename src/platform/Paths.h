#pragma once
// The program's folder, path joining and volumes ("drives").

#include <QString>
#include <QStringList>
#include <optional>

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
// The user's folder for pictures (the desktop's XDG_PICTURES_DIR, usually ~/Pictures).
QString picturesFolder();
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

// Where the system keeps the mount points of volumes that come and go.
struct MountConventions {
    QString fstab = QStringLiteral("/etc/fstab");
    // Folders whose entries exist only while a volume is mounted there (udisks makes and
    // removes /media/USER/LABEL and /run/media/USER/LABEL).
    QStringList userMountFolders;
    // Folders whose entries are mount points, but may be plain folders too (/media, /mnt).
    QStringList mountFolders = {QStringLiteral("/media"), QStringLiteral("/mnt")};
};
// The system's conventions for the user running the program.
MountConventions systemMountConventions();
// Tests put their own folders in place of the system's; nothing restores the system's.
void overrideMountConventions(const std::optional<MountConventions>& conventions);

// The mount point of the volume the path names when that volume is not mounted now (an
// unplugged disk whose favourite folder resolves, without it, to the volume above); empty
// when the path's volume is mounted or the path names none. The path names a volume through
// an entry of fstab, or through the first component under a folder used for mounts: always
// under the user's udisks folders, and under the others when that component is missing or
// an empty folder.
QString unmountedVolumeOf(const QString& path);

// Why a folder cannot be entered, numbered as the program numbers its errors: 68 "Device
// unavailable" (its volume is not mounted now, not ready or not readable), 76 "Path not
// found" (no folder there), 70 "Permission denied" (the user may not list or enter it).
struct FolderFailure {
    int number = 0;  // 0: it can be entered
    QString description;
};
inline constexpr int kErrDeviceUnavailable = 68;
inline constexpr int kErrPathNotFound = 76;
inline constexpr int kErrPermissionDenied = 70;
FolderFailure folderFailure(const QString& folder);

}  // namespace gv
