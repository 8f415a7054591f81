#pragma once
// The favourites commands of the main window: the Favourites menu's items, its add/delete
// command, opening a favourite from the menu or from the browser panel's list, and the
// removal of favourites whose folder has gone. The window hands over the folder it shows and
// a way to open another one; these functions do the rest.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "favourites/FavouriteStore.h"

class QAction;
class QMenu;
class QWidget;

namespace gv {

inline constexpr const char* kAddCaption = "Add current Folder...";
inline constexpr const char* kDeleteCaption = "Delete this Favourite...";

// Makes the menu's favourite items show the entries: item 0 exists already, further items
// are made at the end of the menu or destroyed. Each item's text is the name and its data
// the folder; only the "No Favourites" item is disabled.
void fillFavouriteItems(QMenu* menu, QList<QAction*>& items, const QList<Favourite>& entries);

// The add/delete command's caption: "Delete this Favourite..." exactly when folder is the
// folder of a menu entry.
QString addCommandCaption(const QList<Favourite>& entries, const QString& folder);

// The lines of the browser panel's favourites list: the names of the entries that have both
// a name and a folder.
QStringList favouriteListLines(const QList<Favourite>& entries);

// The name proposed for a new favourite: the folder's last part, empty for a root.
QString proposedFavouriteName(const QString& folder);

// The add/delete command, by the caption it shows, for the folder the window shows.
void runAddCommand(FavouriteStore& store, const QString& caption, const QString& folder,
                   QWidget* owner);

// Why a favourite's folder cannot be opened.
enum class FolderProblem { None, DriveUnavailable, PathNotFound, PermissionDenied };
FolderProblem checkFavouriteFolder(const QString& folder);

using OpenFolder = std::function<void(const QString& folder)>;

// Opening from the Favourites menu: a favourite that cannot be opened is offered for
// deletion.
void openFavouriteFromMenu(FavouriteStore& store, const Favourite& favourite,
                           const OpenFolder& open, QWidget* owner);

// Opening from the browser panel's list by the chosen line: the first favourite of that
// name; a problem is reported and nothing else happens.
void openFavouriteFromList(const FavouriteStore& store, const QString& line, const OpenFolder& open,
                           QWidget* owner);

// Deletes, without asking, every favourite whose folder is not an existing folder.
void DeleteInvalidFavourites(FavouriteStore& store);

}  // namespace gv
