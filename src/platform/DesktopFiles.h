#pragma once
// Files of the user's desktop set-up that Glimvane changes beside other programs: the list of
// default applications (mimeapps.list), Glimvane's own desktop entry and the launchers on the
// desktop. They live in the user's folders, often as symbolic links into a folder of dotfiles,
// and other programs rewrite them at any time, so each is read whole and replaced whole: the
// new text goes into a file of its own beside the real file and is renamed over it, and only
// when the file still holds what was read.

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace gv {

// The freedesktop base folders, in the lossless text form of file names (FileNameBytes.h).
QString xdgConfigHome();      // $XDG_CONFIG_HOME, else ~/.config
QString xdgDataHome();        // $XDG_DATA_HOME, else ~/.local/share
QStringList xdgConfigDirs();  // $XDG_CONFIG_DIRS, else /etc/xdg
QStringList xdgDataDirs();    // $XDG_DATA_DIRS, else /usr/local/share and /usr/share
// The names in $XDG_CURRENT_DESKTOP, in lower case ("gnome", "xfce").
QStringList currentDesktopNames();
// The user's desktop folder (xdg-user-dirs); empty where the desktop has none, which
// xdg-user-dirs writes as the home folder itself.
QString userDesktopFolder();

struct UserFile {
    QString path;      // as asked for
    QString realPath;  // the file a symbolic link leads to; the path itself otherwise
    bool exists = false;
    bool isLink = false;
    mode_t mode = 0;
    QByteArray bytes;
};

enum class UserFileError { None, NotAFile, DanglingLink, ReadOnly, TooLarge, Changed, System };
struct UserFileStatus {
    UserFileError error = UserFileError::None;
    int errnoValue = 0;
    bool ok() const { return error == UserFileError::None; }
};

// Reads the file whole, through a symbolic link. A file that is not there reads as empty,
// with exists false. A file the user made read-only reads, and refuses replaceUserFile.
UserFileStatus readUserFile(const QString& path, UserFile& file, qint64 maxBytes = 1 << 20);

// Replaces what readUserFile read with bytes, atomically, writing through a symbolic link
// (which stays a link). Changed when the file no longer holds what was read (or has come or
// gone since); the caller reads again and redoes its change. The new file keeps the old one's
// permissions, or gets mode when given (a new file: 0666 less the umask). Missing folders on
// the way are made (0700).
UserFileStatus replaceUserFile(const UserFile& read, const QByteArray& bytes,
                               std::optional<mode_t> mode = std::nullopt);

// Why a file could not be used, as words for a message: "it is read-only", "it is a
// symbolic link to a file that does not exist", ...
QString userFileProblem(const UserFileStatus& status);

// Desktops that run launchers from the desktop only when told to (GNOME's desktop icons) are
// told this one is trusted, where gio and a session bus are there. Nothing is reported.
void markLauncherTrusted(const QString& path);

}  // namespace gv
