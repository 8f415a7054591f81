#include "favourites/FavouriteCommands.h"

#include <QAction>
#include <QMenu>

#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"

namespace gv {
namespace {

constexpr const char* kNamePrompt = "Please input a name for this favourite";
constexpr const char* kNameTitle = "Enter Name";
constexpr const char* kIllegalName = "Illegal Favourites name, please choose another name";
constexpr const char* kIllegalTitle = "Illegal Name";
constexpr const char* kDeleteQuestion = "Are you sure you wish to delete this favourite?";
constexpr const char* kDeleteTitle = "Delete Favourite?";
constexpr const char* kInvalidQuestion = "This favourite is invalid, delete it?";
constexpr const char* kDriveUnavailable = "Drive unavailable";
constexpr const char* kPathNotFound = "Invalid Favourite, the directory path could not be found!";

bool askYes(const char* text, QWidget* owner) {
    return dialogs().message(QString::fromLatin1(text), MsgButtons::YesNo, MsgIcon::None,
                             QString::fromLatin1(kDeleteTitle), owner) == MsgAnswer::Yes;
}

}  // namespace

void fillFavouriteItems(QMenu* menu, QList<QAction*>& items, const QList<Favourite>& entries) {
    while (items.size() > 1) {
        // The item may be the one whose click led here: it goes once that click is over.
        QAction* gone = items.takeLast();
        menu->removeAction(gone);
        gone->setObjectName(QString());
        gone->deleteLater();
    }
    for (int i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            auto* item = new QAction(menu->parent());
            item->setObjectName(items.first()->objectName().section(QLatin1Char('_'), 0, -2) +
                                QLatin1Char('_') + QString::number(i));
            menu->addAction(item);
            items.append(item);
        }
        QAction* item = items[i];
        // Names are shown as they are: an "&" in a name is no access key.
        QString caption = entries[i].name;
        item->setText(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setData(entries[i].folder);
        item->setVisible(true);
    }
    const bool none = entries.size() == 1 && entries.first().folder.isEmpty() &&
                      entries.first().name == QString::fromLatin1(kNoFavourites);
    items.first()->setEnabled(!none);
}

QString addCommandCaption(const QList<Favourite>& entries, const QString& folder) {
    for (const Favourite& f : entries) {
        if (f.folder == folder) {
            return QString::fromLatin1(kDeleteCaption);
        }
    }
    return QString::fromLatin1(kAddCaption);
}

QStringList favouriteListLines(const QList<Favourite>& entries) {
    QStringList lines;
    for (const Favourite& f : entries) {
        if (!f.name.isEmpty() && !f.folder.isEmpty()) {
            lines << f.name;
        }
    }
    return lines;
}

QString proposedFavouriteName(const QString& folder) {
    return folder.section(QLatin1Char('/'), -1);
}

void runAddCommand(FavouriteStore& store, const QString& caption, const QString& folder,
                   QWidget* owner) {
    if (caption == QString::fromLatin1(kAddCaption)) {
        const QString name =
            dialogs().input(QString::fromLatin1(kNamePrompt), QString::fromLatin1(kNameTitle),
                            proposedFavouriteName(folder), owner);
        if (name.isEmpty()) {
            return;
        }
        if (name == QString::fromLatin1(kNoFavourites)) {
            dialogs().message(QString::fromLatin1(kIllegalName), MsgButtons::Ok,
                              MsgIcon::Exclamation, QString::fromLatin1(kIllegalTitle), owner);
            return;
        }
        store.AddFavourite(name, folder, owner);
    } else if (caption == QString::fromLatin1(kDeleteCaption)) {
        if (!askYes(kDeleteQuestion, owner)) {
            return;
        }
        for (const Favourite& f : store.favourites()) {
            if (f.folder == folder) {
                store.DeleteFavourite(f.name, folder);
                return;
            }
        }
    }
}

FolderProblem checkFavouriteFolder(const QString& folder) {
    switch (folderFailure(folder).number) {
        case 0:
            return FolderProblem::None;
        case kErrDeviceUnavailable:
            return FolderProblem::DriveUnavailable;
        case kErrPathNotFound:
            return FolderProblem::PathNotFound;
        default:
            return FolderProblem::PermissionDenied;
    }
}

void openFavouriteFromMenu(FavouriteStore& store, const Favourite& favourite,
                           const OpenFolder& open, QWidget* owner) {
    if (checkFavouriteFolder(favourite.folder) == FolderProblem::None) {
        open(favourite.folder);
        return;
    }
    if (askYes(kInvalidQuestion, owner)) {
        store.DeleteFavourite(favourite.name, favourite.folder);
    }
}

void openFavouriteFromList(const FavouriteStore& store, const QString& line, const OpenFolder& open,
                           QWidget* owner) {
    if (line == QString::fromLatin1(kNoFavourites)) {
        return;
    }
    for (const Favourite& f : store.menuEntries()) {
        if (f.name != line) {
            continue;
        }
        switch (checkFavouriteFolder(f.folder)) {
            case FolderProblem::None:
                open(f.folder);
                break;
            case FolderProblem::DriveUnavailable:
                dialogs().message(QString::fromLatin1(kDriveUnavailable), MsgButtons::Ok,
                                  MsgIcon::Exclamation, QStringLiteral("Problem"), owner);
                break;
            case FolderProblem::PathNotFound:
                dialogs().message(QString::fromLatin1(kPathNotFound), MsgButtons::Ok,
                                  MsgIcon::Critical, QStringLiteral("Error"), owner);
                break;
            case FolderProblem::PermissionDenied:
                dialogs().message(
                    QStringLiteral("Permission denied"), MsgButtons::Ok, MsgIcon::Critical,
                    QStringLiteral("Error Number: ") + QString::number(kErrPermissionDenied),
                    owner);
                break;
        }
        return;
    }
}

void DeleteInvalidFavourites(FavouriteStore& store) {
    // Each delete renumbers: the whole list is taken first, and deleted by name. A folder on
    // a volume that is not mounted now is not known to be gone: it stays.
    const QList<Favourite> favourites = store.favourites();
    for (const Favourite& f : favourites) {
        if (!isFolder(f.folder) && unmountedVolumeOf(f.folder).isEmpty()) {
            store.DeleteFavourite(f.name, f.folder);
        }
    }
}

}  // namespace gv
