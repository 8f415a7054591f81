#include "platform/Settings.h"

#include <sys/stat.h>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <cerrno>
#include <map>
#include <memory>
#include <utility>

#include "platform/DamagedFiles.h"
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

// What the store knows of the version of a settings file it last looked at.
struct FileCheck {
    struct stat seen {};
    bool valid = false;
    // NUL bytes or text that is not UTF-8: Qt reads them, but would write them back changed.
    bool oddBytes = false;
    // A copy of this version is kept beside it already.
    bool copyKept = false;
    // It could not be moved aside: defaults only, and nothing written over it, this session.
    bool refused = false;
};

std::map<QString, FileCheck>& fileChecks() {
    static std::map<QString, FileCheck> all;
    return all;
}

QList<SettingsFileNotice>& pendingNotices() {
    static QList<SettingsFileNotice> all;
    return all;
}

bool holdsOddBytes(const QByteArray& bytes) {
    if (bytes.contains('\0')) {
        return true;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The conversion runs when its result is taken.
    const QString text = utf8(bytes);
    return utf8.hasError();
}

void forgetStore(const QString& path) {
    stores().erase(path);
}

// Looks at the application's file before the store reads or writes it: Qt reads a settings
// file whole and keeps it in memory several times over (a 170 MB file took 875 MB and half a
// minute), and it would block on a pipe and replace a file it cannot read with the defaults.
// A file the store cannot use is moved aside, unchanged, and the store starts afresh.
// Returns false while the store must leave the file alone.
bool guardFile(const QString& application) {
    const QString path = settingsFilePath(application);
    FileCheck& check = fileChecks()[path];
    // One system call while the file stays as it was looked at last (nearly every read).
    struct stat now {};
    if (::stat(fileNameToStdString(path).c_str(), &now) != 0 && errno == ENOENT) {
        check = FileCheck{};
        return true;
    }
    if (check.valid && sameFileVersion(check.seen, now)) {
        return true;
    }
    BoundedFile file(path, kMaxSettingsFileBytes);
    if (file.state() == BoundedFile::State::Missing) {
        check = FileCheck{};
        return true;
    }
    if (file.state() == BoundedFile::State::Readable) {
        if (check.valid && sameFileVersion(check.seen, file.info())) {
            return true;
        }
        if (const auto bytes = file.readAll()) {
            check = FileCheck{};
            check.seen = file.info();
            check.valid = true;
            check.oddBytes = holdsOddBytes(*bytes);
            return true;
        }
    }
    if (check.refused) {
        return false;
    }
    SettingsFileNotice notice;
    notice.file = path;
    notice.reason =
        file.state() == BoundedFile::State::TooLarge   ? SettingsFileNotice::Reason::TooLarge
        : file.state() == BoundedFile::State::NotAFile ? SettingsFileNotice::Reason::NotAFile
                                                       : SettingsFileNotice::Reason::Unreadable;
    notice.error = file.error();
    const bool opened = file.state() != BoundedFile::State::Unreadable || file.info().st_ino != 0;
    notice.keptAs = moveAside(path, opened ? &file.info() : nullptr);
    pendingNotices() << notice;
    trace(QStringLiteral("settings: could not use ") + path + QStringLiteral("; kept as ") +
          notice.keptAs);
    forgetStore(path);
    check = FileCheck{};
    check.refused = notice.keptAs.isEmpty();
    return !check.refused;
}

// Qt keeps only the lines of a settings file it can read, and writes back NUL bytes and text
// that is not UTF-8 changed: the first write to a file with such lines (edited by hand, say, or
// damaged on the disk) would lose them for good. A copy of the file as it was is kept beside it
// first, as `<file>.damaged` (`.damaged-2`, ... when that exists), so that nothing the user had
// is lost.
QString keepCopy(const QString& path) {
    FileCheck& check = fileChecks()[path];
    BoundedFile file(path, kMaxSettingsFileBytes);
    const auto bytes = file.readAll();
    if (!bytes) {
        return QString();
    }
    const QFileInfo info(path);
    const QString aside = keepCopyAside(info.path(), info.fileName(), *bytes);
    if (!aside.isEmpty()) {
        trace(QStringLiteral("settings: unreadable lines; kept a copy as ") + aside);
        check.seen = file.info();
        check.valid = true;
        check.copyKept = true;
    }
    return aside;
}

// Returns whether the file read was damaged; the store's object then goes once the write is
// done, as it would go on reporting the damage of the file it first read.
bool keepDamagedFile(QSettings& s) {
    const FileCheck& check = fileChecks()[s.fileName()];
    const bool unreadableLines = s.status() == QSettings::FormatError;
    if ((unreadableLines || check.oddBytes) && !check.copyKept) {
        keepCopy(s.fileName());
    }
    return unreadableLines;
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
    if (!guardFile(application)) {
        return defaultValue;
    }
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
    QHash<QString, QString> values;
    if (!guardFile(application)) {
        return values;
    }
    QSettings& s = storeFor(application);
    s.sync();
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
    if (!guardFile(application)) {
        return;
    }
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
    if (!guardFile(application)) {
        return;
    }
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
    if (!guardFile(application)) {
        return false;
    }
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

QList<SettingsFileNotice> takeSettingsFileNotices() {
    QMutexLocker lock(&storeMutex());
    return std::exchange(pendingNotices(), {});
}

QString keepSettingsCopy(const QString& application) {
    QMutexLocker lock(&storeMutex());
    if (!guardFile(application)) {
        return QString();
    }
    return keepCopy(settingsFilePath(application));
}

}  // namespace gv
