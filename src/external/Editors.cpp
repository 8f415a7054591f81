#include "external/Editors.h"

#include <algorithm>

#include <QMap>

#include <QDir>

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "external/clsVarMenus.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/Launcher.h"

namespace gv {
namespace {

struct KnownEditor {
    const char* fileName;
    const char* name;
};

constexpr KnownEditor kKnownEditors[] = {
    {"psp.exe", "Paint Shop Pro"},
    {"photoed.exe", "Microsoft Photo Editor"},
    {"anim.exe", "Animation Shop"},
    {"pictureviewer.exe", "Picture Viewer"},
    {"i_view32.exe", "Irfan View"},
    {"photoshp.exe", "Adobe Photoshop"},
    {"bryce2.exe", "Bryce 2"},
    // The editors of this desktop, by program and by desktop entry.
    {"gimp", "GIMP"},
    {"gimp.desktop", "GIMP"},
    {"org.gimp.gimp.desktop", "GIMP"},
    {"krita", "Krita"},
    {"org.kde.krita.desktop", "Krita"},
    {"inkscape", "Inkscape"},
    {"org.inkscape.inkscape.desktop", "Inkscape"},
    {"pinta", "Pinta"},
    {"pinta.desktop", "Pinta"},
    {"com.github.pinta_project.pinta.desktop", "Pinta"},
    {"kolourpaint", "KolourPaint"},
    {"org.kde.kolourpaint.desktop", "KolourPaint"},
    {"mtpaint", "mtPaint"},
    {"mtpaint.desktop", "mtPaint"},
    {"darktable", "darktable"},
    {"darktable.desktop", "darktable"},
    {"org.darktable.darktable.desktop", "darktable"},
    {"rawtherapee", "RawTherapee"},
    {"rawtherapee.desktop", "RawTherapee"},
    {"com.rawtherapee.rawtherapee.desktop", "RawTherapee"},
};

// Splits an Exec value into words as the desktop-entry rules quote them.
QStringList execWords(const QString& exec) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < exec.size()) {
                word += exec[++i];
            } else {
                word += c;
            }
        } else if (c == u'"') {
            quoted = inWord = true;
        } else if (c == u' ' || c == u'\t') {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words << word;
    }
    return words;
}

QString entryValue(const QString& entryText, const QString& key) {
    bool inMain = false;
    for (const QString& raw : entryText.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inMain = line == QStringLiteral("[Desktop Entry]");
        } else if (inMain && line.startsWith(key)) {
            const QString rest = line.mid(key.size()).trimmed();
            if (rest.startsWith(u'=')) {
                return rest.mid(1).trimmed();
            }
        }
    }
    return QString();
}

}  // namespace

QList<MenuEntry> installedEditors() {
    // The desktop entries first: they carry the command as the desktop starts it.
    QMap<QString, QString> entries;  // lower-case file name -> path
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    for (const QString& folder : folders) {
        // The suffix is tested here rather than by a name filter, which would build a regular
        // expression (and load its engine) during the start.
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Readable)) {
            const QString key = f.fileName().toLower();
            if (key.endsWith(QLatin1String(".desktop")) && !entries.contains(key)) {
                entries.insert(key, f.absoluteFilePath());
            }
        }
    }
    QList<MenuEntry> found;
    const auto has = [&found](const QString& name) {
        return std::any_of(found.begin(), found.end(),
                           [&name](const MenuEntry& e) { return e.name == name; });
    };
    for (const KnownEditor& e : kKnownEditors) {
        const QString key = QString::fromLatin1(e.fileName);
        const QString name = QString::fromLatin1(e.name);
        if (has(name) || key.endsWith(QStringLiteral(".exe"))) {
            continue;
        }
        if (key.endsWith(QStringLiteral(".desktop"))) {
            if (entries.contains(key)) {
                found << MenuEntry{name, entries.value(key)};
            }
        }
    }
    for (const KnownEditor& e : kKnownEditors) {
        const QString key = QString::fromLatin1(e.fileName);
        const QString name = QString::fromLatin1(e.name);
        if (has(name) || key.contains(u'.')) {
            continue;
        }
        const QString program = QStandardPaths::findExecutable(key);
        if (!program.isEmpty()) {
            found << MenuEntry{name, program};
        }
    }
    return found;
}

QString proposedEditorName(const QString& fileName) {
    const QString key = fileName.toLower();
    for (const KnownEditor& e : kKnownEditors) {
        if (key == QLatin1String(e.fileName)) {
            return QString::fromLatin1(e.name);
        }
    }
    // Versioned program names: gimp-2.10, krita5.
    for (const KnownEditor& e : kKnownEditors) {
        const QLatin1String known(e.fileName);
        if (!known.contains(u'.') && key.startsWith(known) && key.size() > known.size() &&
            !key[known.size()].isLetter()) {
            return QString::fromLatin1(e.name);
        }
    }
    return QString();
}

std::optional<EditorCommand> desktopEntryCommand(const QString& entryText,
                                                 const QString& imagePath) {
    QStringList words = execWords(entryValue(entryText, QStringLiteral("Exec")));
    if (words.isEmpty()) {
        return std::nullopt;
    }
    QStringList arguments;
    bool placed = false;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w == QStringLiteral("%f") || w == QStringLiteral("%F") || w == QStringLiteral("%u") ||
            w == QStringLiteral("%U")) {
            if (!placed) {
                arguments << imagePath;
                placed = true;
            }
        } else if (w.size() == 2 && w[0] == u'%') {
            // Other field codes (%i, %c, %k and the deprecated ones) give no argument here.
        } else {
            QString literal = w;
            arguments << literal.replace(QStringLiteral("%%"), QStringLiteral("%"));
        }
    }
    if (!placed) {
        arguments << imagePath;
    }
    QString program = words.first();
    if (!program.contains(u'/')) {
        program = QStandardPaths::findExecutable(program);
        if (program.isEmpty()) {
            return std::nullopt;
        }
    }
    return EditorCommand{program, arguments};
}

bool StartEditor(const QString& editor, const QString& imagePath) {
    bool started = false;
    if (isRegularFile(editor)) {
        if (editor.endsWith(QStringLiteral(".desktop"))) {
            QFile entry;
            if (openForReading(entry, editor)) {
                const auto command =
                    desktopEntryCommand(QString::fromUtf8(entry.read(1024 * 1024)), imagePath);
                started = command && launchDetached(command->program, command->arguments);
            }
        } else {
            started = launchDetached(editor, {imagePath});
        }
    }
    if (!started) {
        dialogs().message(QStringLiteral("Cannot launch ") + editor, MsgButtons::Ok,
                          MsgIcon::Critical, QStringLiteral("File not Found!"));
    }
    return started;
}

int AddEditor(clsVarMenus& editors, QWidget* owner) {
    const auto choice =
        dialogs().openFile(QStringLiteral("Add Editor..."), QStringLiteral("/usr/bin"),
                           QStringLiteral("Executables|*"), 1, owner);
    if (!choice || choice->path.isEmpty()) {
        return -1;
    }
    QString proposal = proposedEditorName(choice->fileName);
    if (proposal.isEmpty() && choice->fileName.endsWith(QStringLiteral(".desktop"))) {
        QFile entry(choice->path);
        if (entry.open(QIODevice::ReadOnly)) {
            proposal =
                entryValue(QString::fromUtf8(entry.read(1024 * 1024)), QStringLiteral("Name"));
        }
    }
    const QString name = dialogs()
                             .input(QStringLiteral("Please enter a friendly name for this editor."),
                                    QStringLiteral("Add Editor..."), proposal, owner)
                             .trimmed();
    if (name.isEmpty()) {
        return -1;
    }
    bool fail = false;
    const int index = editors.AddItem(name, choice->path, fail);
    return fail ? -1 : index;
}

}  // namespace gv
