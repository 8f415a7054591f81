#include "options/Associations.h"

#include <QDir>
#include <algorithm>

#include "options/DesktopEntries.h"
#include "options/MimeApps.h"
#include "platform/DesktopFiles.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Settings.h"

namespace gv {

using keys::kAssociationKeys;

// The extension's type is the one the desktop's shared MIME database gives its files.
const AssociationType kAssociationTypes[kAssociationTypeCount] = {
    {"chkBMPass", "BMP", "", "BMP", ".bmp", "Bitmap", "Bitmap", "image/bmp", kAssociationKeys[0]},
    {"chkJPGass", "JPG", "", "JPG", ".jpg", "Jpeg", "Jpeg", "image/jpeg", kAssociationKeys[1]},
    {"chkGIFass", "GIF", "", "GIF", ".gif", "GIF", "Compuserve GIF", "image/gif",
     kAssociationKeys[2]},
    {"chkWMFass", "WMF", "", "WMF", ".wmf", "WMF", "Windows Metafile", "image/wmf",
     kAssociationKeys[4]},
    {"chkEMFass", "EMF", "", "EMF", ".emf", "EMF", "Windows Enhanced Metafile", "image/emf",
     kAssociationKeys[3]},
    {"chkICOass", "Icon", "", "ICO", ".ico", "Icon", "Icon", "image/vnd.microsoft.icon",
     kAssociationKeys[5]},
    {"chkCURass", "Cursor", "", "CUR", ".cur", "Cursor", "Cursor", "image/x-win-bitmap",
     kAssociationKeys[6]},
    {"chkTGAass", "TGA", "", "TGA", ".tga", "TGA", "Truevision Targa", "image/x-tga",
     kAssociationKeys[7]},
    {"chkPCXass", "PCX", "", "PCX", ".pcx", "PCX", "Zsoft Paintbrush", "image/vnd.zbrush.pcx",
     kAssociationKeys[8]},
    {"chkTIFass", "TIFF", "Tagged Image File Format", "TIF", ".tif", "Tiff",
     "Tagged Image File Format", "image/tiff", kAssociationKeys[9]},
    {"chkEPSass", "EPS", "", "EPS", ".eps", "EPSPrev", "EPS Preview", "image/x-eps",
     kAssociationKeys[10]},
    {"chkPCTass", "PCT", "Mac PICT Format", "PCT", ".pct", "MacPICT", "Mac Pict", "image/x-pict",
     kAssociationKeys[11]},
    {"chkPNGass", "PNG", "Portable Network Graphics", "PNG", ".png", "PNG",
     "Portable Network Graphics", "image/png", kAssociationKeys[12]},
    // The formats phones, the web and cameras write now, after the original thirteen.
    {"chkWEBPass", "WebP", "", "WEBP", ".webp", "WebP", "WebP Image", "image/webp",
     kAssociationKeys[13]},
    {"chkAVIFass", "AVIF", "AV1 Image File Format", "AVIF", ".avif", "AVIF",
     "AV1 Image File Format", "image/avif", kAssociationKeys[14]},
    {"chkHEICass", "HEIC", "High Efficiency Image Container", "HEIC", ".heic", "HEIC",
     "High Efficiency Image Container", "image/heic", kAssociationKeys[15]},
    {"chkHEIFass", "HEIF", "High Efficiency Image File Format", "HEIF", ".heif", "HEIF",
     "High Efficiency Image File Format", "image/heif", kAssociationKeys[16]},
    {"chkJXLass", "JXL", "JPEG XL", "JXL", ".jxl", "JPEGXL", "JPEG XL Image", "image/jxl",
     kAssociationKeys[17]},
    {"chkSVGass", "SVG", "Scalable Vector Graphics", "SVG", ".svg", "SVG",
     "Scalable Vector Graphics", "image/svg+xml image/svg+xml-compressed", kAssociationKeys[18]},
    {"chkRAWass", "RAW", "Camera raw files (CR2, CR3, NEF, ARW, DNG, ORF, RAF, RW2)", "RAW", ".dng",
     "RAW", "Camera Raw",
     "image/x-canon-cr2 image/x-canon-cr3 image/x-nikon-nef image/x-sony-arw image/x-adobe-dng "
     "image/x-olympus-orf image/x-fuji-raf image/x-panasonic-rw2",
     kAssociationKeys[19]},
};

QList<QByteArray> mimeTypesOf(const AssociationType& type) {
    return QByteArray(type.mimeType).split(' ');
}

const AssociationType* associationTypeOf(const SettingKey& setting) {
    for (const AssociationType& type : kAssociationTypes) {
        if (&type.setting == &setting) {
            return &type;
        }
    }
    return nullptr;
}

namespace {

constexpr const char* kUndoSection = "Associations";
constexpr const char* kListsTitle = "File Types";
constexpr int kAttempts = 3;

QString undoApp() {
    return QString::fromLatin1(apps::kMain);
}

QString userListPath() {
    return xdgConfigHome() + QStringLiteral("/mimeapps.list");
}

QStringList applicationFolders() {
    QStringList folders{xdgDataHome() + QStringLiteral("/applications")};
    for (const QString& dir : xdgDataDirs()) {
        folders << dir + QStringLiteral("/applications");
    }
    return folders;
}

QString ownEntryPath() {
    return applicationFolders().constFirst() + QLatin1Char('/') +
           QString::fromLatin1(kDesktopEntryId);
}

// A desktop id names a file in an applications folder, a "-" standing for a subfolder.
bool installed(const QString& id) {
    for (const QString& folder : applicationFolders()) {
        if (isRegularFile(folder + QLatin1Char('/') + id)) {
            return true;
        }
        QString nested = id;
        for (qsizetype dash = nested.indexOf(QLatin1Char('-')); dash > 0;
             dash = nested.indexOf(QLatin1Char('-'), dash + 1)) {
            nested[dash] = QLatin1Char('/');
            if (isRegularFile(folder + QLatin1Char('/') + nested)) {
                return true;
            }
        }
    }
    return false;
}

// The lists the desktop asks for a type's default, most important first.
QList<mimeapps::List> lookupLists() {
    QList<mimeapps::List> lists;
    const auto add = [&](const QString& path, const char* group) {
        UserFile file;
        if (readUserFile(path, file).ok() && file.exists) {
            lists.append({file.bytes, group});
        }
    };
    const QStringList desktops = currentDesktopNames();
    const QStringList appFolders = applicationFolders();
    const QStringList listFolders = QStringList{xdgConfigHome()} + xdgConfigDirs() + appFolders;
    for (const QString& folder : listFolders) {
        for (const QString& desktop : desktops) {
            add(folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"),
                mimeapps::kDefaultGroup);
        }
        add(folder + QStringLiteral("/mimeapps.list"), mimeapps::kDefaultGroup);
    }
    for (const QString& folder : appFolders) {
        add(folder + QStringLiteral("/defaults.list"), mimeapps::kDefaultGroup);
        add(folder + QStringLiteral("/mimeinfo.cache"), mimeapps::kCacheGroup);
    }
    return lists;
}

// The desktop id of an entry chosen in an applications folder; empty for any other file.
QString desktopIdOf(const QString& path) {
    if (!path.endsWith(QStringLiteral(".desktop"))) {
        return QString();
    }
    for (const QString& folder : applicationFolders()) {
        if (path.startsWith(folder + QLatin1Char('/'))) {
            QString id = path.mid(folder.size() + 1);
            return id.replace(QLatin1Char('/'), QLatin1Char('-'));
        }
    }
    return QString();
}

// Where no list names a default, the desktop takes an installed entry that opens the type:
// the one that prefers itself most (InitialPreference), the first found on a tie.
QHash<QString, QString> entriesByType() {
    QHash<QString, QString> chosen;
    QHash<QString, int> preference;
    for (const QString& folder : applicationFolders()) {
        const QStringList names =
            QDir(fileNameForDisplay(folder))
                .entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString& name : names) {
            UserFile file;
            if (!readUserFile(folder + QLatin1Char('/') + name, file, 256 * 1024).ok()) {
                continue;
            }
            QStringList types;
            int pref = 0;
            for (const QByteArray& line : file.bytes.split('\n')) {
                if (line.startsWith("MimeType=")) {
                    types = QString::fromUtf8(line.mid(9))
                                .trimmed()
                                .split(QLatin1Char(';'), Qt::SkipEmptyParts);
                } else if (line.startsWith("InitialPreference=")) {
                    pref = line.mid(18).trimmed().toInt();
                }
            }
            for (const QString& type : types) {
                if (!chosen.contains(type) || pref > preference.value(type)) {
                    chosen.insert(type, name);
                    preference.insert(type, pref);
                }
            }
        }
    }
    return chosen;
}

// The undo of a check box's first type is kept under its code ("PNG"), of its further types
// under the code and their number ("RAW2").
QString undoKey(const AssociationType& type, qsizetype index) {
    const QString code = QString::fromLatin1(type.code);
    return index == 0 ? code : code + QString::number(index + 1);
}

bool namesOwnEntry(const std::optional<QByteArray>& line) {
    return line && mimeapps::idsOf(*line).value(0) == QLatin1String(kDesktopEntryId);
}

}  // namespace

FileTypeAssociations::FileTypeAssociations(QWidget* owner) : m_owner(owner) {}

QString FileTypeAssociations::defaultFor(const QByteArray& mimeType) {
    const QString listed = mimeapps::defaultApplication(lookupLists(), mimeType, installed);
    if (!listed.isEmpty()) {
        return listed;
    }
    if (!m_entriesByType) {
        m_entriesByType = entriesByType();
    }
    return m_entriesByType->value(QString::fromLatin1(mimeType));
}

bool FileTypeAssociations::IsTypeAssociated(const AssociationType& type) {
    // A box that stands for several types is ticked only while Glimvane opens all of them.
    const QList<QByteArray> types = mimeTypesOf(type);
    return std::all_of(types.begin(), types.end(), [this](const QByteArray& mimeType) {
        return defaultFor(mimeType) == QLatin1String(kDesktopEntryId);
    });
}

void FileTypeAssociations::SetFileTypeAssociation(bool checked, const AssociationType& type) {
    SaveSetting(type.setting, checked ? QStringLiteral("1") : QStringLiteral("0"));
    ApplyStoredWish(checked, type);
}

void FileTypeAssociations::ApplyStoredWish(bool checked, const AssociationType& type) {
    if (checked) {
        if (IsTypeAssociated(type)) {
            writeOwnEntry();
        } else {
            associate(type, QString::fromLatin1(kDesktopEntryId), true);
        }
        return;
    }
    if (!IsTypeAssociated(type) || restore(type) != Outcome::Failed) {
        return;
    }
    const QString code = QString::fromLatin1(type.code);
    const MsgAnswer answer = dialogs().message(
        QStringLiteral("Cannot unassociate the ") + code +
            QStringLiteral(" file format, the 'Undo' data is either corrupted or missing, would "
                           "you like to choose another program for ") +
            code +
            QStringLiteral(" files now? Click Yes to browse for a program, click No to stick "
                           "with Glimvane as the default ") +
            code + QStringLiteral(" file application."),
        MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Error in Unassociating!"), m_owner);
    if (answer == MsgAnswer::Yes) {
        chooseAnotherProgram(type);
    }
}

void FileTypeAssociations::Reassert(const AssociationType& type) {
    if (IsTypeAssociated(type)) {
        writeOwnEntry();
    } else {
        associate(type, QString::fromLatin1(kDesktopEntryId), true);
    }
}

FileTypeAssociations::Outcome FileTypeAssociations::associate(const AssociationType& type,
                                                              const QString& id, bool recordUndo) {
    if (id == QLatin1String(kDesktopEntryId) && !writeOwnEntry()) {
        return Outcome::FileProblem;
    }
    const QList<QByteArray> types = mimeTypesOf(type);
    return editList([&](const QByteArray& list) -> std::optional<QByteArray> {
        QByteArray edited = list;
        for (qsizetype i = 0; i < types.size(); ++i) {
            const std::optional<QByteArray> earlier = mimeapps::entryLine(edited, types[i]);
            // A line that names Glimvane already is no earlier owner: the undo kept stays.
            if (recordUndo && !namesOwnEntry(earlier)) {
                SaveSetting(undoApp(), QString::fromLatin1(kUndoSection), undoKey(type, i),
                            earlier ? QString::fromUtf8(*earlier) : QString());
            }
            edited = mimeapps::withEntryLine(edited, types[i], mimeapps::lineFor(types[i], id));
        }
        return edited;
    });
}

FileTypeAssociations::Outcome FileTypeAssociations::restore(const AssociationType& type) {
    const QString section = QString::fromLatin1(kUndoSection);
    const QList<QByteArray> types = mimeTypesOf(type);
    // Per type, the undo: the line Glimvane's replaced, or empty where the type had no default
    // of the user's own (and gets none again). It is usable while a program it names is
    // installed.
    QList<std::optional<QByteArray>> earlier;
    QList<bool> usable;
    for (qsizetype i = 0; i < types.size(); ++i) {
        const QString key = undoKey(type, i);
        const QString undo = GetSetting(undoApp(), section, key);
        bool ok = SettingExists(undoApp(), section, key);
        std::optional<QByteArray> line;
        if (!undo.isEmpty()) {
            line = undo.toUtf8();
            const QStringList ids = mimeapps::idsOf(*line);
            ok = std::any_of(ids.begin(), ids.end(), installed);
        }
        earlier << line;
        usable << ok;
    }
    bool stuck = false;
    const Outcome outcome = editList([&](const QByteArray& list) -> std::optional<QByteArray> {
        stuck = false;
        QByteArray edited = list;
        for (qsizetype i = 0; i < types.size(); ++i) {
            if (!namesOwnEntry(mimeapps::entryLine(edited, types[i]))) {
                continue;
            }
            if (!usable[i]) {
                stuck = true;
                continue;
            }
            edited = mimeapps::withEntryLine(edited, types[i], earlier[i]);
        }
        return edited;
    });
    if (outcome != Outcome::Done) {
        return outcome;
    }
    // Without a line of Glimvane's in the list there is nothing to give back: the desktop
    // chose Glimvane itself, as the only program it has for the type, or by a list of the
    // system's.
    if (stuck) {
        return Outcome::Failed;
    }
    for (qsizetype i = 0; i < types.size(); ++i) {
        DeleteSetting(undoApp(), section, undoKey(type, i));
    }
    return Outcome::Done;
}

void FileTypeAssociations::chooseAnotherProgram(const AssociationType& type) {
    const QString code = QString::fromLatin1(type.code);
    QString start;
    for (const QString& folder : applicationFolders()) {
        if (start.isEmpty() && isFolder(folder)) {
            start = folder;
        }
    }
    const std::optional<FileChoice> choice =
        dialogs().program(QStringLiteral("Browse for programs"),
                          QStringLiteral("Please browse for a new default ") + code +
                              QStringLiteral(" file format application."),
                          start.isEmpty() ? QStringLiteral("/") : start, m_owner);
    if (!choice || choice->path.isEmpty()) {
        return;
    }
    const QString id = desktopIdOf(choice->path);
    if (id.isEmpty() || !installed(id)) {
        dialogs().message(QStringLiteral("'") + choice->fileName +
                              QStringLiteral("' is not a program the desktop can open files "
                                             "with. Choose its desktop entry in an applications "
                                             "folder, such as /usr/share/applications. Glimvane "
                                             "stays the default ") +
                              code + QStringLiteral(" file application."),
                          MsgButtons::Ok, MsgIcon::Exclamation, QString::fromLatin1(kListsTitle),
                          m_owner);
        return;
    }
    if (associate(type, id, false) == Outcome::Done) {
        for (qsizetype i = 0; i < mimeTypesOf(type).size(); ++i) {
            DeleteSetting(undoApp(), QString::fromLatin1(kUndoSection), undoKey(type, i));
        }
    }
}

bool FileTypeAssociations::writeOwnEntry() {
    if (m_entryWritten) {
        return true;
    }
    const QString path = ownEntryPath();
    QStringList mimeTypes;
    for (const AssociationType& type : kAssociationTypes) {
        for (const QByteArray& mimeType : mimeTypesOf(type)) {
            mimeTypes << QString::fromLatin1(mimeType);
        }
    }
    const std::optional<QByteArray> text = associationEntry(programPath(), mimeTypes);
    if (!text) {
        report(path, QStringLiteral("the name of Glimvane's folder is not UTF-8, which a desktop "
                                    "entry cannot hold"));
        return false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UserFile file;
        UserFileStatus status = readUserFile(path, file);
        // An entry of the user's own by that name stays: it is the one the desktop runs.
        if (status.ok() && (!file.exists || (isOwnEntry(file.bytes) && file.bytes != *text))) {
            status = replaceUserFile(file, *text);
        }
        if (status.ok()) {
            m_entryWritten = true;
            m_entriesByType.reset();  // the entry may be new
            return true;
        }
        if (status.error != UserFileError::Changed) {
            report(path, userFileProblem(status));
            return false;
        }
    }
    report(path, userFileProblem({UserFileError::Changed}));
    return false;
}

FileTypeAssociations::Outcome FileTypeAssociations::editList(
    const std::function<std::optional<QByteArray>(const QByteArray&)>& edit) {
    const QString path = userListPath();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UserFile file;
        UserFileStatus status = readUserFile(path, file);
        if (!status.ok()) {
            report(path, userFileProblem(status));
            return Outcome::FileProblem;
        }
        if (const mimeapps::Damage damage = mimeapps::findDamage(file.bytes); damage.line > 0) {
            report(path, QStringLiteral("line %1 is damaged (\"%2\")")
                             .arg(damage.line)
                             .arg(damage.text.left(80)));
            return Outcome::FileProblem;
        }
        const std::optional<QByteArray> changed = edit(file.bytes);
        if (!changed || *changed == file.bytes) {
            return Outcome::Done;
        }
        status = replaceUserFile(file, *changed);
        if (status.ok()) {
            return Outcome::Done;
        }
        if (status.error != UserFileError::Changed) {
            report(path, userFileProblem(status));
            return Outcome::FileProblem;
        }
    }
    report(path, userFileProblem({UserFileError::Changed}));
    return Outcome::FileProblem;
}

void FileTypeAssociations::report(const QString& file, const QString& problem) {
    if (m_reported) {
        return;
    }
    m_reported = true;
    dialogs().message(
        QStringLiteral("Glimvane cannot change the file types in '") + file +
            QStringLiteral("': ") + problem + QStringLiteral(". The file was left as it is."),
        MsgButtons::Ok, MsgIcon::Exclamation, QString::fromLatin1(kListsTitle), m_owner);
}

}  // namespace gv
