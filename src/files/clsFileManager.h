#pragma once
// The one place where the program copies, moves, renames and deletes files and folders. Each
// method gathers its arguments (asking for a destination folder or a new name where needed)
// and hands the operation to the file-operation service; it returns True when the operation
// ran without error and without being cancelled.

#include <QString>
#include <functional>
#include <optional>

#include "favourites/FavouriteStore.h"
#include "files/FileOpEngine.h"

class QWidget;

namespace gv {

// An error raised for a misuse of the class: a number in the object-error range, the class
// as its source, and a description.
struct ObjectError {
    qint32 number = 0;
    QString source;
    QString description;
};

inline constexpr qint32 kErrNoDestinationNoForm = qint32(0x80041552u);

// The name a renamed file gets: the typed name, with the file's extension appended unless the
// typed name already ends with it in lower or in upper case. "photo.jpg" typed "holiday"
// becomes "holiday.jpg", "holiday.JPG" stays, "holiday.gif" becomes "holiday.gif.jpg".
QString renamedFileName(const QString& fileName, const QString& typed);
// The last component of a folder path; a root stays whole.
QString lastPathComponent(const QString& path);

class clsFileManager final {
public:
    using Service = std::function<FileOpOutcome(const FileOpRequest&, QWidget* owner)>;
    // The service defaults to the real one (runFileOperation); tests hand in their own.
    explicit clsFileManager(Service service = {});

    // The favourites the destination chooser lists beside its folder tree (the menu's
    // entries, read each time the chooser opens).
    using FavouriteSource = std::function<QList<Favourite>()>;
    void setFavourites(FavouriteSource source) { m_favourites = std::move(source); }

    bool CopyDirectory(const QString& DirToCopy, QWidget* Callingfrm,
                       QString* Destination = nullptr, QString* pDest = nullptr);
    bool MoveDirectory(const QString& DirToMove, QWidget* Callingfrm,
                       QString* Destination = nullptr, QString* pDest = nullptr);
    bool DeleteDirectory(const QString& Path, QWidget* Callingfrm, bool Recyclebin);
    bool Rename(const QString& DirPath, QString FileName, QWidget* Callingfrm,
                QString* Pnewname = nullptr);
    bool CopyFile(const QString& SourcePath, const QString& SourceFilename, QWidget* Callingfrm,
                  QString* Destination = nullptr, QString* pDest = nullptr);
    bool MoveFile(const QString& SourcePath, const QString& SourceFilename, QWidget* Callingfrm,
                  QString* Destination = nullptr, QString* pDest = nullptr);
    // Copies (Op = 1) or moves (any other Op) the NUL-separated full paths into Destination.
    bool MultipleFileOp(const QString& FQFilenames, QWidget* Callingfrm, qint32 Op,
                        const QString& Destination);
    bool DeleteFile(const QString& FullPath, QWidget* Callingfrm, bool Recyclebin);

    bool DisplayPBar() const { return m_displayPBar; }
    void setDisplayPBar(bool on) { m_displayPBar = on; }
    bool YesToAll() const { return m_yesToAll; }
    void setYesToAll(bool on) { m_yesToAll = on; }
    bool RenameFiles() const { return m_renameFiles; }
    void setRenameFiles(bool on) { m_renameFiles = on; }

    // The error the last call raised, if it raised one.
    const std::optional<ObjectError>& lastError() const { return m_error; }

private:
    bool copyOrMoveFolder(const QString& folder, QWidget* form, QString* destination,
                          QString* pDest, bool move);
    bool copyOrMoveFile(const QString& sourcePath, const QString& name, QWidget* form,
                        QString* destination, QString* pDest, bool move);
    // The destination given, or the one the user chooses in a chooser that starts at the
    // folder the command works on; empty when there is none.
    QString destinationFor(QString* destination, QWidget* form, const QString& prompt,
                           const QString& startFolder, const char* errorText);
    bool finish(qint16 opKind, const QString& source, const QString& dest, QWidget* owner,
                bool recycle);
    void PerformFileOp(QWidget* owner, bool recycle);
    bool LastOpFailed() const { return m_lastOpFailed; }

    Service m_service;
    FavouriteSource m_favourites;
    bool m_displayPBar = false;
    bool m_yesToAll = false;
    bool m_renameFiles = false;
    qint16 m_opKind = 0;  // 0 copy, 1 move, 2 rename, 3 delete
    QString m_sourceSpec;
    QString m_destSpec;
    bool m_lastOpFailed = false;
    std::optional<ObjectError> m_error;
};

}  // namespace gv
