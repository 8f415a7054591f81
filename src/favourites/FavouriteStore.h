#pragma once
// The favourites: named shortcuts to folders. They are kept in section "Favs" of the
// program's settings as favn1/fava1, favn2/fava2, … (name and folder), numbered without
// gaps. Reading stops at the first number without a name. Favourites stored behind such a gap
// (a section damaged by hand or on the disk) stay in the file: the user is told once, and the
// file as it was is kept aside before anything is written, since the next add fills the gap.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

#include "platform/Settings.h"

class QWidget;

namespace gv {

// The caption of the Favourites menu's one item while there are no favourites.
inline constexpr const char* kNoFavourites = "No Favourites";

struct Favourite {
    QString name;
    QString folder;
    bool operator==(const Favourite&) const = default;
};

// ---- The stored layout, on a snapshot of section "Favs" (keys in lower case) ----

// The favourites of the section up to the first number without a name (numbered 1 to
// 32767), in number order, and whether favourites are stored behind that gap.
struct StoredFavourites {
    QList<Favourite> favourites;
    bool damaged = false;
    int missingNumber = 0;  // the number of the gap, when damaged
};
StoredFavourites readFavourites(const QHash<QString, QString>& section);
QList<Favourite> favouritesIn(const QHash<QString, QString>& section);

// What the add refuses: a folder or a name that a loaded favourite already has. The lower
// number decides when both match.
enum class FavouriteClash { None, Folder, Name };
FavouriteClash findClash(const QList<Favourite>& loaded, const QString& name,
                         const QString& folder);

// The changes that delete the favourite named name from a store of which the first
// loadedCount favourites are loaded: the last loaded one takes over its number. Nothing
// when no favourite numbered below 1000 has that name (and it is not the last one).
std::optional<QList<SettingChange>> deletionChanges(const QHash<QString, QString>& section,
                                                    int loadedCount, const QString& name,
                                                    const QString& folder);

// The changes that store a favourite behind the loadedCount loaded ones.
QList<SettingChange> additionChanges(int loadedCount, const QString& name, const QString& folder);

// ---- The favourites of the running program ----

class FavouriteStore final : public QObject {
    Q_OBJECT
public:
    explicit FavouriteStore(QObject* parent = nullptr);

    // Reads the favourites from the settings anew.
    void LoadFavourites();
    // Stores a favourite as the last one; a folder or name already used is refused with
    // its message, shown over owner. True when it was stored.
    bool AddFavourite(const QString& name, const QString& folder, QWidget* owner = nullptr);
    // Deletes the favourite of that name; the last favourite takes over its number.
    void DeleteFavourite(const QString& name, const QString& folder);
    // Gives a favourite a new name, under which it becomes the last one. A name that another
    // favourite has is refused with its message. True when it was renamed.
    bool RenameFavourite(const QString& oldName, const QString& folder, const QString& newName,
                         QWidget* owner = nullptr);

    // Favourite k is element k - 1.
    const QList<Favourite>& favourites() const { return m_favourites; }
    // The items of the Favourites menu: the favourites in number order, or with none the
    // one "No Favourites" item, which has no folder.
    QList<Favourite> menuEntries() const;

Q_SIGNALS:
    // The favourites were read anew (after every change).
    void Reloaded();

private:
    bool refuseClash(FavouriteClash clash, QWidget* owner);
    // Keeps the settings file aside and tells the user of favourites stored behind a gap,
    // once for each damaged content.
    void reportGap(const QHash<QString, QString>& section, int missing);

    QList<Favourite> m_favourites;
};

// The favourites as the Favourites menu lists them, read from the settings: one (name,
// folder) pair per menu item in menu order; with no favourites the single pair
// ("No Favourites", "") of the disabled placeholder item.
QList<Favourite> favouriteMenuEntries();

}  // namespace gv
