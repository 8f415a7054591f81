#include "platform/Settings.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <map>
#include <memory>

#include "platform/FileNameBytes.h"
#include "platform/Trace.h"

namespace gv {
namespace {

QMutex& storeMutex() {
    static QMutex m;
    return m;
}

// One QSettings per application file; sync() before each read picks up what another
// process (the recovery program) wrote in the meantime.
std::map<QString, std::unique_ptr<QSettings>>& stores() {
    static std::map<QString, std::unique_ptr<QSettings>> all;
    return all;
}

QSettings& storeFor(const QString& application) {
    const QString path = settingsFilePath(application);
    auto& slot = stores()[path];
    if (!slot) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        slot = std::make_unique<QSettings>(path, QSettings::IniFormat);
        // Never write into the file itself: a write cut short would leave it damaged.
        slot->setAtomicSyncRequired(true);
    }
    return *slot;
}

// Qt keeps only the lines of a settings file it can read: the first write to a file with lines
// it could not (edited by hand, say, or damaged on the disk) would drop them for good. A copy
// of the file as it was is kept beside it first, as `<file>.damaged` (`.damaged-2`, ... when
// that exists), so that nothing the user had is lost.
// Returns whether it did; the store's object then goes once the write is done, as it would go
// on reporting the damage of the file it first read.
bool keepDamagedFile(QSettings& s) {
    if (s.status() != QSettings::FormatError) {
        return false;
    }
    const QString path = s.fileName();
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside) && n < 1000; ++n) {
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    }
    if (QFile::copy(path, aside)) {
        trace(QStringLiteral("settings: unreadable lines; kept a copy as ") + aside);
    }
    return true;
}

void renewStore(QSettings& s) {
    stores().erase(s.fileName());
}

// A writer killed between making its lock file and writing its name into it leaves an empty
// lock, which Qt honours for 30 seconds: the next write would hang that long. A live writer
// fills its lock at once, so an empty one that stays empty for a second is abandoned.
constexpr int kAbandonedLockMs = 1000;

void removeAbandonedLocks(const QString& file) {
    // The guard of a lock's removal first: while it stands, the lock itself cannot go.
    const QString lockPath = file + QStringLiteral(".lock");
    for (const QString& path : {lockPath + QStringLiteral(".rmlock"), lockPath}) {
        const QDeadlineTimer deadline(2 * kAbandonedLockMs);
        while (!deadline.hasExpired()) {
            const QFileInfo lock(path);
            if (!lock.exists() || lock.size() > 0) {
                break;
            }
            if (lock.lastModified().msecsTo(QDateTime::currentDateTime()) > kAbandonedLockMs) {
                // Removed under Qt's own guard, so that no two processes remove it at once.
                QLockFile guard(path + QStringLiteral(".rmlock"));
                if (guard.tryLock() && QFileInfo(path).size() == 0) {
                    QFile::remove(path);
                }
                break;
            }
            QThread::msleep(50);
        }
    }
}

// The stored spelling of a group whose name matches without regard to case.
QString findGroup(QSettings& s, const QString& section) {
    const QStringList groups = s.childGroups();
    for (const QString& g : groups) {
        if (g.compare(section, Qt::CaseInsensitive) == 0) {
            return g;
        }
    }
    // Keys of the INI "General" section are not reported as a group.
    return QString();
}

QStringList matchingKeys(QSettings& s, const QString& key) {
    QStringList found;
    const QStringList keys = s.childKeys();
    for (const QString& k : keys) {
        if (k.compare(key, Qt::CaseInsensitive) == 0) {
            found << k;
        }
    }
    return found;
}

}  // namespace

QString settingsFilePath(const QString& application) {
    QString root = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (root.isEmpty()) {
        root = QDir::homePath() + QStringLiteral("/.config");
    }
    return root + QStringLiteral("/Glimvane/") + application + QStringLiteral(".conf");
}

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue) {
    QMutexLocker lock(&storeMutex());
    QSettings& s = storeFor(application);
    s.sync();
    const QString group = findGroup(s, section);
    if (group.isEmpty()) {
        return defaultValue;
    }
    s.beginGroup(group);
    const QStringList keys = matchingKeys(s, key);
    QString result = defaultValue;
    if (!keys.isEmpty()) {
        const QVariant v = s.value(keys.first());
        result = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(','))
                                                      : textFromStorage(v.toString());
    }
    s.endGroup();
    return result;
}

void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& text) {
    ChangeSettings(application, section, {SettingChange{key, text}});
}

QHash<QString, QString> GetAllSettings(const QString& application, const QString& section) {
    QMutexLocker lock(&storeMutex());
    QSettings& s = storeFor(application);
    s.sync();
    QHash<QString, QString> values;
    const QString group = findGroup(s, section);
    if (group.isEmpty()) {
        return values;
    }
    s.beginGroup(group);
    const QStringList keys = s.childKeys();
    for (const QString& k : keys) {
        // A hand-edited file may hold the same key twice in other case: the first one counts,
        // as it does for GetSetting.
        if (values.contains(k.toLower())) {
            continue;
        }
        const QVariant v = s.value(k);
        values.insert(k.toLower(), v.typeId() == QMetaType::QStringList
                                       ? v.toStringList().join(QLatin1Char(','))
                                       : textFromStorage(v.toString()));
    }
    s.endGroup();
    return values;
}

void ChangeSettings(const QString& application, const QString& section,
                    const QList<SettingChange>& changes) {
    QMutexLocker lock(&storeMutex());
    removeAbandonedLocks(settingsFilePath(application));
    QSettings& s = storeFor(application);
    s.sync();
    const bool wasDamaged = keepDamagedFile(s);
    QString group = findGroup(s, section);
    if (group.isEmpty()) {
        group = section.toLower();
    }
    s.beginGroup(group);
    for (const SettingChange& change : changes) {
        for (const QString& k : matchingKeys(s, change.key)) {
            s.remove(k);
        }
        if (change.text) {
            // A folder whose name is not UTF-8 keeps its bytes in the file.
            s.setValue(change.key.toLower(), textForStorage(*change.text));
        }
    }
    s.endGroup();
    s.sync();
    if (wasDamaged) {
        renewStore(s);
    }
}

void DeleteSetting(const QString& application, const QString& section, const QString& key) {
    QMutexLocker lock(&storeMutex());
    removeAbandonedLocks(settingsFilePath(application));
    QSettings& s = storeFor(application);
    s.sync();
    const QString group = findGroup(s, section);
    if (group.isEmpty()) {
        return;
    }
    const bool wasDamaged = keepDamagedFile(s);
    if (key.isEmpty()) {
        s.remove(group);
    } else {
        s.beginGroup(group);
        for (const QString& k : matchingKeys(s, key)) {
            s.remove(k);
        }
        s.endGroup();
    }
    s.sync();
    if (wasDamaged) {
        renewStore(s);
    }
}

bool SettingExists(const QString& application, const QString& section, const QString& key) {
    QMutexLocker lock(&storeMutex());
    QSettings& s = storeFor(application);
    s.sync();
    const QString group = findGroup(s, section);
    if (group.isEmpty()) {
        return false;
    }
    s.beginGroup(group);
    const bool found = !matchingKeys(s, key).isEmpty();
    s.endGroup();
    return found;
}

}  // namespace gv
