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
// %1 the settings file, %2 the number that is missing, %3 where its copy is kept.
constexpr const char* kBehindGapKept =
    "Some favourites in the settings file '%1' are stored after a gap in their numbers "
    "(favourite %2 is missing), so they are not in the Favourites menu. The settings file as "
    "it was is kept as '%3'.\n\nThe next favourite you add fills the gap, and the favourites "
    "after it come back.";
// %1 the settings file, %2 the number that is missing.
constexpr const char* kBehindGapNotKept =
    "Some favourites in the settings file '%1' are stored after a gap in their numbers "
    "(favourite %2 is missing), so they are not in the Favourites menu. No copy of the "
    "settings file could be kept.\n\nThe next favourite you add fills the gap, and the "
    "favourites after it come back.";

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
    // Reading stops at the first number without a name; a name without its folder loads.
    StoredFavourites stored;
    int n = 1;
    for (; n <= kLastNumber && !section.value(nameKey(n)).isEmpty(); ++n) {
        stored.favourites.append(Favourite{section.value(nameKey(n)), section.value(folderKey(n))});
    }
    // What is stored behind that gap stays in the file but is not loaded.
    static const QRegularExpression kSlotKey(QStringLiteral("^fav[na]([1-9][0-9]{0,4})$"));
    for (auto it = section.begin(); it != section.end(); ++it) {
        const QRegularExpressionMatch m = kSlotKey.match(it.key());
        if (m.hasMatch() && m.captured(1).toInt() > n && !it.value().isEmpty()) {
            stored.damaged = true;
            stored.missingNumber = n;
        }
    }
    return stored;
}

QList<Favourite> favouritesIn(const QHash<QString, QString>& section) {
    return readFavourites(section).favourites;
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
        reportGap(section, stored.missingNumber);
    }
    Q_EMIT Reloaded();
}

void FavouriteStore::reportGap(const QHash<QString, QString>& section, int missing) {
    const QString content = fingerprint(section);
    if (reportedDamage().contains(content)) {
        return;
    }
    reportedDamage().insert(content);
    const QString main = QString::fromLatin1(apps::kMain);
    const QString file = fileNameForDisplay(settingsFilePath(main));
    // The next add writes into the gap: the file as it was is kept first.
    const QString kept = keepSettingsCopy(main);
    const QString text = kept.isEmpty()
                             ? QString::fromUtf8(kBehindGapNotKept).arg(file).arg(missing)
                             : QString::fromUtf8(kBehindGapKept)
                                   .arg(file)
                                   .arg(missing)
                                   .arg(fileNameForDisplay(kept));
    dialogs().message(text, MsgButtons::Ok, MsgIcon::Exclamation,
                      QString::fromLatin1(kProgramTitle));
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
    LoadFavourites();
    if (refuseClash(findClash(m_favourites, name, folder), owner)) {
        return false;
    }
    // Both values in one write: a favourite is never stored without its folder.
    writeSection(additionChanges(int(m_favourites.size()), name, folder));
    LoadFavourites();
    return true;
}

void FavouriteStore::DeleteFavourite(const QString& name, const QString& folder) {
    LoadFavourites();
    if (const auto changes =
            deletionChanges(storedSection(), int(m_favourites.size()), name, folder)) {
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
    LoadFavourites();
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
