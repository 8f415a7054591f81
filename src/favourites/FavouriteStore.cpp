#include "favourites/FavouriteStore.h"

#include <limits>

#include "platform/Dialogs.h"
#include "settings/SettingKeys.h"

namespace gv {
namespace {

constexpr const char* kFolderUsed = "The directory has already been set as a favourite!";
constexpr const char* kNameUsed = "This name has been used by another favourite.";
// The favourites are numbered with 16-bit numbers; a delete searches numbers below 1000.
constexpr int kLastNumber = std::numeric_limits<qint16>::max();
constexpr int kSearchLimit = 1000;

QString nameKey(int n) {
    return QStringLiteral("favn") + QString::number(n);
}

QString folderKey(int n) {
    return QStringLiteral("fava") + QString::number(n);
}

QHash<QString, QString> storedSection() {
    return GetAllSettings(QString::fromLatin1(apps::kMain), QString::fromLatin1(sections::kFavs));
}

void writeSection(const QList<SettingChange>& changes) {
    ChangeSettings(QString::fromLatin1(apps::kMain), QString::fromLatin1(sections::kFavs), changes);
}

void apply(QHash<QString, QString>& section, const QList<SettingChange>& changes) {
    for (const SettingChange& change : changes) {
        if (change.text) {
            section.insert(change.key, *change.text);
        } else {
            section.remove(change.key);
        }
    }
}

}  // namespace

QList<Favourite> favouritesIn(const QHash<QString, QString>& section) {
    QList<Favourite> loaded;
    for (int n = 1; n <= kLastNumber; ++n) {
        const QString name = section.value(nameKey(n));
        if (name.isEmpty()) {
            break;
        }
        loaded.append(Favourite{name, section.value(folderKey(n))});
    }
    return loaded;
}

FavouriteClash findClash(const QList<Favourite>& loaded, const QString& name,
                         const QString& folder) {
    // Number 0 takes part too: it has neither name nor folder.
    QList<Favourite> numbered{Favourite{}};
    numbered.append(loaded);
    for (const Favourite& f : numbered) {
        if (f.folder == folder) {
            return FavouriteClash::Folder;
        }
        if (f.name == name) {
            return FavouriteClash::Name;
        }
    }
    return FavouriteClash::None;
}

std::optional<QList<SettingChange>> deletionChanges(const QHash<QString, QString>& section,
                                                    int loadedCount, const QString& name,
                                                    const QString& folder) {
    // No favourite has an empty name, and unused numbers read as empty.
    if (name.isEmpty()) {
        return std::nullopt;
    }
    const QString lastName = section.value(nameKey(loadedCount));
    const QString lastFolder = section.value(folderKey(loadedCount));
    QList<SettingChange> changes;
    if (name != lastName || folder != lastFolder) {
        int slot = -1;
        for (int k = 0; k < kSearchLimit && slot < 0; ++k) {
            if (section.value(nameKey(k)) == name) {
                slot = k;
            }
        }
        if (slot < 0) {
            return std::nullopt;
        }
        changes << SettingChange{nameKey(slot), lastName}
                << SettingChange{folderKey(slot), lastFolder};
    }
    changes << SettingChange{nameKey(loadedCount), std::nullopt}
            << SettingChange{folderKey(loadedCount), std::nullopt};
    return changes;
}

QList<SettingChange> additionChanges(int loadedCount, const QString& name, const QString& folder) {
    return {SettingChange{nameKey(loadedCount + 1), name},
            SettingChange{folderKey(loadedCount + 1), folder}};
}

FavouriteStore::FavouriteStore(QObject* parent) : QObject(parent) {}

void FavouriteStore::LoadFavourites() {
    m_favourites = favouritesIn(storedSection());
    Q_EMIT Reloaded();
}

bool FavouriteStore::refuseClash(FavouriteClash clash, QWidget* owner) {
    switch (clash) {
        case FavouriteClash::Folder:
            dialogs().message(QString::fromLatin1(kFolderUsed), MsgButtons::Ok,
                              MsgIcon::Exclamation, QString::fromLatin1(kProgramTitle), owner);
            return true;
        case FavouriteClash::Name:
            dialogs().message(QString::fromLatin1(kNameUsed), MsgButtons::Ok, MsgIcon::None,
                              QString::fromLatin1(kProgramTitle), owner);
            return true;
        case FavouriteClash::None:
            break;
    }
    return false;
}

bool FavouriteStore::AddFavourite(const QString& name, const QString& folder, QWidget* owner) {
    if (refuseClash(findClash(m_favourites, name, folder), owner)) {
        return false;
    }
    // Both values in one write: a favourite is never stored without its folder.
    writeSection(additionChanges(int(m_favourites.size()), name, folder));
    LoadFavourites();
    return true;
}

void FavouriteStore::DeleteFavourite(const QString& name, const QString& folder) {
    const auto changes = deletionChanges(storedSection(), int(m_favourites.size()), name, folder);
    if (changes) {
        writeSection(*changes);
    }
    LoadFavourites();
}

bool FavouriteStore::RenameFavourite(const QString& oldName, const QString& folder,
                                     const QString& newName, QWidget* owner) {
    if (newName != oldName) {
        for (const Favourite& f : m_favourites) {
            if (f.name == newName) {
                refuseClash(FavouriteClash::Name, owner);
                return false;
            }
        }
    }
    // The delete and the add of the renamed favourite are written together, so that no
    // moment exists at which the favourite is stored under neither name.
    QHash<QString, QString> section = storedSection();
    QList<SettingChange> changes;
    QList<Favourite> remaining = m_favourites;
    if (const auto deletion = deletionChanges(section, int(m_favourites.size()), oldName, folder)) {
        changes = *deletion;
        apply(section, changes);
        remaining = favouritesIn(section);
    }
    if (refuseClash(findClash(remaining, newName, folder), owner)) {
        return false;
    }
    changes << additionChanges(int(remaining.size()), newName, folder);
    writeSection(changes);
    LoadFavourites();
    return true;
}

QList<Favourite> FavouriteStore::menuEntries() const {
    if (m_favourites.isEmpty()) {
        return {Favourite{QString::fromLatin1(kNoFavourites), QString()}};
    }
    return m_favourites;
}

QList<Favourite> favouriteMenuEntries() {
    FavouriteStore store;
    store.LoadFavourites();
    return store.menuEntries();
}

}  // namespace gv
