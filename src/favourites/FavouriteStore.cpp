#include "favourites/FavouriteStore.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <limits>
#include <map>

#include "platform/Dialogs.h"
#include "platform/FileNameBytes.h"
#include "settings/SettingKeys.h"

namespace gv {
namespace {

constexpr const char* kFolderUsed = "The directory has already been set as a favourite!";
constexpr const char* kNameUsed = "This name has been used by another favourite.";
// The favourites are numbered with 16-bit numbers; a delete searches numbers below 1000.
constexpr int kLastNumber = std::numeric_limits<qint16>::max();
constexpr int kSearchLimit = 1000;
// %1 the settings file, %2 where its copy is kept.
constexpr const char* kDamagedKept =
    "Some favourites in the settings file '%1' were damaged: a gap in their numbers, a name "
    "without its folder, or a line that is no favourite.\n\nEvery favourite that could be "
    "read is in the Favourites menu, numbered anew. The settings file as it was is kept as "
    "'%2'.";
// %1 the settings file.
constexpr const char* kDamagedNotKept =
    "Some favourites in the settings file '%1' were damaged: a gap in their numbers, a name "
    "without its folder, or a line that is no favourite.\n\nEvery favourite that could be "
    "read is in the Favourites menu. No copy of the settings file could be kept, so the "
    "favourites are left as they are stored and cannot be changed until it can.";

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

// The damaged contents the user has been told of in this run.
QSet<QString>& reportedDamage() {
    static QSet<QString> reported;
    return reported;
}

QString fingerprint(const QHash<QString, QString>& section) {
    QStringList lines;
    for (auto it = section.begin(); it != section.end(); ++it) {
        lines << it.key() + QChar(0) + it.value();
    }
    lines.sort();
    return lines.join(QChar(1));
}

}  // namespace

StoredFavourites readFavourites(const QHash<QString, QString>& section) {
    static const QRegularExpression kSlotKey(QStringLiteral("^fav([na])([1-9][0-9]{0,4})$"));
    StoredFavourites stored;
    std::map<int, Favourite> slots;
    for (auto it = section.begin(); it != section.end(); ++it) {
        const QRegularExpressionMatch m = kSlotKey.match(it.key());
        const int n = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (n < 1 || n > kLastNumber) {
            stored.damaged = true;
            continue;
        }
        Favourite& slot = slots[n];
        (m.captured(1) == QLatin1String("n") ? slot.name : slot.folder) = it.value();
    }
    int expected = 1;
    for (const auto& [n, favourite] : slots) {
        // A favourite is its name and its folder: half of one opens nothing.
        if (favourite.name.isEmpty() || favourite.folder.isEmpty()) {
            stored.damaged = true;
            continue;
        }
        stored.damaged = stored.damaged || n != expected;
        ++expected;
        stored.favourites.append(favourite);
    }
    return stored;
}

QList<Favourite> favouritesIn(const QHash<QString, QString>& section) {
    return readFavourites(section).favourites;
}

QList<SettingChange> renumberingChanges(const QHash<QString, QString>& section,
                                        const QList<Favourite>& favourites) {
    QList<SettingChange> changes;
    for (auto it = section.begin(); it != section.end(); ++it) {
        changes << SettingChange{it.key(), std::nullopt};
    }
    for (int i = 0; i < favourites.size(); ++i) {
        changes << additionChanges(i, favourites[i].name, favourites[i].folder);
    }
    return changes;
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
    const QHash<QString, QString> section = storedSection();
    const StoredFavourites stored = readFavourites(section);
    m_favourites = stored.favourites;
    if (stored.damaged) {
        repairDamage(section);
    }
    Q_EMIT Reloaded();
}

void FavouriteStore::repairDamage(const QHash<QString, QString>& section) {
    const QString content = fingerprint(section);
    if (reportedDamage().contains(content)) {
        return;
    }
    reportedDamage().insert(content);
    const QString main = QString::fromLatin1(apps::kMain);
    const QString file = fileNameForDisplay(settingsFilePath(main));
    // Renumbering leaves out what could not be read: only over a kept copy.
    const QString kept = keepSettingsCopy(main);
    if (!kept.isEmpty()) {
        writeSection(renumberingChanges(section, readFavourites(section).favourites));
    }
    const QString text = kept.isEmpty()
                             ? QString::fromUtf8(kDamagedNotKept).arg(file)
                             : QString::fromUtf8(kDamagedKept).arg(file, fileNameForDisplay(kept));
    dialogs().message(text, MsgButtons::Ok, MsgIcon::Exclamation,
                      QString::fromLatin1(kProgramTitle));
}

std::optional<QHash<QString, QString>> FavouriteStore::wholeSection() {
    QHash<QString, QString> section = storedSection();
    if (readFavourites(section).damaged) {
        repairDamage(section);
        section = storedSection();
    }
    const StoredFavourites stored = readFavourites(section);
    m_favourites = stored.favourites;
    if (stored.damaged) {
        return std::nullopt;
    }
    return section;
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
    // Number N + 1 is free only in a section without gaps.
    if (!wholeSection()) {
        LoadFavourites();
        return false;
    }
    if (refuseClash(findClash(m_favourites, name, folder), owner)) {
        return false;
    }
    // Both values in one write: a favourite is never stored without its folder.
    writeSection(additionChanges(int(m_favourites.size()), name, folder));
    LoadFavourites();
    return true;
}

void FavouriteStore::DeleteFavourite(const QString& name, const QString& folder) {
    if (const auto section = wholeSection()) {
        if (const auto changes =
                deletionChanges(*section, int(m_favourites.size()), name, folder)) {
            writeSection(*changes);
        }
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
    auto whole = wholeSection();
    if (!whole) {
        LoadFavourites();
        return false;
    }
    QHash<QString, QString> section = *whole;
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
