#include "files/clsFileManager.h"

#include <QApplication>
#include <QCursor>

#include "files/FileOpRunner.h"
#include "files/frmBrowse.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace gv {
namespace {

constexpr const char* kNoFormFolder =
    "When the destination augument is not specified, the calling form augument must be "
    "specified.";
constexpr const char* kNoFormFile =
    "When the destination auguement is not specified, the calling form auguement must be "
    "specified.";

FileOpKind kindOf(qint16 opKind) {
    static const FileOpKind kKinds[] = {FileOpKind::Copy, FileOpKind::Move, FileOpKind::Rename,
                                        FileOpKind::Delete};
    return kKinds[opKind];
}

}  // namespace

QString renamedFileName(const QString& fileName, const QString& typed) {
    // The extension is what follows the last dot (three letters for most picture types, four
    // for .jpeg and .tiff); a name without one gets nothing appended.
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return typed;
    }
    const QString extension = fileName.mid(dot + 1);
    const QString lower = QLatin1Char('.') + extension.toLower();
    const QString upper = QLatin1Char('.') + extension.toUpper();
    if (typed.endsWith(lower, Qt::CaseSensitive) || typed.endsWith(upper, Qt::CaseSensitive)) {
        return typed;
    }
    return typed + lower;
}

QString lastPathComponent(const QString& path) {
    if (path == QLatin1String("/")) {
        return path;
    }
    const qsizetype from = path.endsWith(QLatin1Char('/')) ? path.size() - 2 : path.size() - 1;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), from);
    return path.mid(slash + 1, from - slash);
}

clsFileManager::clsFileManager(Service service)
    : m_service(service ? std::move(service) : Service(runFileOperation)) {}

QString clsFileManager::destinationFor(QString* destination, QWidget* form, const QString& prompt,
                                       const QString& startFolder, const char* errorText) {
    if (destination && !destination->isEmpty()) {
        return *destination;
    }
    if (!form) {
        m_error = ObjectError{kErrNoDestinationNoForm, QStringLiteral("clsFileManager"),
                              QString::fromLatin1(errorText)};
        return {};
    }
    // The prompt inside the window, the tree at the folder at hand, and the favourites beside
    // it: a copy or move to a favourite takes two clicks.
    frmBrowse chooser(form);
    chooser.setFavourites(m_favourites ? m_favourites() : QList<Favourite>());
    QString chosen;
    if (!chooser.ShowBrowse(form, prompt, startFolder, &chosen)) {
        chosen.clear();
    }
    if (destination) {
        *destination = chosen;
    }
    return chosen;
}

bool clsFileManager::copyOrMoveFolder(const QString& folder, QWidget* form, QString* destination,
                                      QString* pDest, bool move) {
    m_error.reset();
    const QString prompt =
        QStringLiteral("Please choose a folder you would like to %1 '%2' to.")
            .arg(move ? QStringLiteral("move") : QStringLiteral("copy"), lastPathComponent(folder));
    const QString dest = destinationFor(destination, form, prompt, folder, kNoFormFolder);
    if (dest.isEmpty()) {
        return false;
    }
    const bool ok = finish(move ? 1 : 0, folder, dest, form, false);
    if (pDest) {
        *pDest = dest;
    }
    return ok;
}

bool clsFileManager::copyOrMoveFile(const QString& sourcePath, const QString& name, QWidget* form,
                                    QString* destination, QString* pDest, bool move) {
    m_error.reset();
    const QString prompt = QStringLiteral("Please choose a folder you would like to %1 %2 to.")
                               .arg(move ? QStringLiteral("move") : QStringLiteral("copy"), name);
    const QString dest =
        destinationFor(destination, form, prompt, sourcePath, move ? kNoFormFolder : kNoFormFile);
    if (dest.isEmpty()) {
        return false;
    }
    const QString target = joinPath(dest, name);
    const bool ok = finish(move ? 1 : 0, joinPath(sourcePath, name), target, form, false);
    if (pDest) {
        *pDest = target;
    }
    return ok;
}

bool clsFileManager::CopyDirectory(const QString& DirToCopy, QWidget* Callingfrm,
                                   QString* Destination, QString* pDest) {
    return copyOrMoveFolder(DirToCopy, Callingfrm, Destination, pDest, false);
}

bool clsFileManager::MoveDirectory(const QString& DirToMove, QWidget* Callingfrm,
                                   QString* Destination, QString* pDest) {
    return copyOrMoveFolder(DirToMove, Callingfrm, Destination, pDest, true);
}

bool clsFileManager::CopyFile(const QString& SourcePath, const QString& SourceFilename,
                              QWidget* Callingfrm, QString* Destination, QString* pDest) {
    return copyOrMoveFile(SourcePath, SourceFilename, Callingfrm, Destination, pDest, false);
}

bool clsFileManager::MoveFile(const QString& SourcePath, const QString& SourceFilename,
                              QWidget* Callingfrm, QString* Destination, QString* pDest) {
    return copyOrMoveFile(SourcePath, SourceFilename, Callingfrm, Destination, pDest, true);
}

bool clsFileManager::DeleteDirectory(const QString& Path, QWidget* Callingfrm, bool Recyclebin) {
    m_error.reset();
    return finish(3, Path, Path, Callingfrm, Recyclebin);
}

bool clsFileManager::DeleteFile(const QString& FullPath, QWidget* Callingfrm, bool Recyclebin) {
    m_error.reset();
    return finish(3, FullPath, FullPath, Callingfrm, Recyclebin);
}

bool clsFileManager::MultipleFileOp(const QString& FQFilenames, QWidget* Callingfrm, qint32 Op,
                                    const QString& Destination) {
    m_error.reset();
    return finish(Op == 1 ? 0 : 1, FQFilenames, Destination, Callingfrm, false);
}

bool clsFileManager::Rename(const QString& DirPath, QString FileName, QWidget* Callingfrm,
                            QString* Pnewname) {
    m_error.reset();
    const QString answer = dialogs()
                               .input(QStringLiteral("Please type a new name for ") + FileName +
                                          QStringLiteral(" below."),
                                      QStringLiteral("Rename File"), FileName, Callingfrm)
                               .trimmed();
    if (answer.isEmpty()) {
        return false;
    }
    const bool ok = finish(2, joinPath(DirPath, FileName),
                           joinPath(DirPath, renamedFileName(FileName, answer)), Callingfrm, false);
    if (Pnewname) {
        *Pnewname = answer;
    }
    return ok;
}

bool clsFileManager::finish(qint16 opKind, const QString& source, const QString& dest,
                            QWidget* owner, bool recycle) {
    m_opKind = opKind;
    m_sourceSpec = source;
    m_destSpec = dest;
    PerformFileOp(owner, recycle);
    return !LastOpFailed();
}

void clsFileManager::PerformFileOp(QWidget* owner, bool recycle) {
    if (m_sourceSpec.isEmpty()) {
        return;
    }
    FileOpRequest request;
    request.kind = kindOf(m_opKind);
    request.sources = m_sourceSpec.split(QChar(0));
    request.destination = m_destSpec;
    if (recycle) {
        request.flags = kFofAllowUndo;
    } else {
        request.flags = (m_displayPBar ? kFofSilent : 0) | (m_yesToAll ? kFofNoConfirmation : 0) |
                        (m_renameFiles ? kFofRenameOnCollision : 0);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const FileOpOutcome outcome = m_service(request, owner);
    QApplication::restoreOverrideCursor();
    m_lastOpFailed = !outcome.ok();
}

}  // namespace gv
