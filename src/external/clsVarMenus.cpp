#include "external/clsVarMenus.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QSaveFile>

#include "external/ObjectError.h"
#include "platform/DamagedFiles.h"
#include "platform/Dialogs.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"

namespace gv {
namespace {

constexpr const char* kCaptionProperty = "gvCaption";
constexpr int kNoDataFile = kObjectErrorBase + 354;
// Longer names are shown shortened in the menu; the item keeps the whole name.
constexpr qsizetype kShownNameLength = 100;

// %1 the data file's name.
constexpr const char* kLoadError = "An error occured while loading the list file '%1'!";
// What follows it, %1 where the file as it was is kept.
constexpr const char* kLinesLeftOut =
    "\n\nThe items before the damaged line are in the menu. The file as it was is kept as "
    "'%1'.";
constexpr const char* kLinesLeftOutNotKept =
    "\n\nThe items before the damaged line are in the menu. No copy of the file could be "
    "kept, so it was left as it is and will not be written over.";
// %1 why the file was not read, %2 where it is kept.
constexpr const char* kNotRead = "\n\nThe file was not read: %1. It is kept, unchanged, as '%2'.";
constexpr const char* kNotReadNotMoved =
    "\n\nThe file was not read: %1. It could not be moved aside, so it was left where it is, "
    "unchanged, and will not be written over.";
constexpr const char* kTooLargeReason = "it is larger than 1 MB, far too large to be a menu list";
constexpr const char* kNotAFileReason = "it is not a file";
// %1 the system's reason.
constexpr const char* kUnreadableReason = "it cannot be read (%1)";

QString shownText(QString caption) {
    if (caption.size() > kShownNameLength) {
        caption = caption.left(kShownNameLength) + QChar(0x2026);
    }
    caption.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

QString menuCaption(const QAction* item) {
    const QVariant caption = item->property(kCaptionProperty);
    return caption.isValid() ? caption.toString() : item->text();
}

void setMenuItem(QAction* item, const QString& caption, const QString& tag) {
    item->setProperty(kCaptionProperty, caption);
    item->setText(shownText(caption));
    item->setData(tag);
}

clsVarMenus::clsVarMenus(QMenu* menu, QList<QAction*>& items, QAction* before)
    : QObject(menu), m_menu(menu), m_items(items), m_before(before) {
    m_namePrefix = m_items[0]->objectName();
    m_namePrefix.chop(2);  // "_0"
    connect(m_items[0], &QAction::triggered, this, [this] { Q_EMIT chosen(0); });
}

QString clsVarMenus::caption(int index) const {
    return menuCaption(m_items.at(index));
}

QString clsVarMenus::tag(int index) const {
    return m_items.at(index)->data().toString();
}

QAction* clsVarMenus::createElement(int index) {
    auto* a = new QAction(m_menu);
    a->setObjectName(m_namePrefix + QStringLiteral("_%1").arg(index));
    m_menu->insertAction(m_before, a);
    connect(a, &QAction::triggered, this, [this, index] { Q_EMIT chosen(index); });
    m_items.append(a);
    return a;
}

void clsVarMenus::unloadElement(int index) {
    delete m_items.takeAt(index);
}

void clsVarMenus::ReloadMenu() {
    while (m_items.size() > 1) {
        unloadElement(upperBound());
    }
    LoadMenu();
}

void clsVarMenus::LoadMenu() {
    if (DataFile.isEmpty()) {
        throw ObjectError{kNoDataFile, QStringLiteral("clsVarMenus"),
                          QStringLiteral("No Data file set, set a data file before loading items")};
    }
    m_holdDataFile = false;
    const QString path = programFileForReading(DataFile);
    BoundedFile file(path, kMaxDataFileBytes);
    if (file.state() == BoundedFile::State::Missing) {
        return;
    }
    const std::optional<QByteArray> bytes = file.readAll();
    if (!bytes) {
        // Nothing of it is a menu: it goes aside whole, and the menu stays as it was.
        QString reason = QString::fromLatin1(kUnreadableReason).arg(systemErrorText(file.error()));
        if (file.state() == BoundedFile::State::TooLarge) {
            reason = QString::fromLatin1(kTooLargeReason);
        } else if (file.state() == BoundedFile::State::NotAFile) {
            reason = QString::fromLatin1(kNotAFileReason);
        }
        const bool opened = file.info().st_ino != 0;
        const QString kept = moveAside(path, opened ? &file.info() : nullptr);
        m_holdDataFile = kept.isEmpty();
        reportDamage(file.state() == BoundedFile::State::TooLarge ? kTooLarge : kUnreadable,
                     kept.isEmpty()
                         ? QString::fromLatin1(kNotReadNotMoved).arg(reason)
                         : QString::fromLatin1(kNotRead).arg(reason, fileNameForDisplay(kept)));
        return;
    }
    const DataFileContent content = parseDataFile(*bytes);
    for (int i = 0; i < content.entries.size(); ++i) {
        QAction* element = i < m_items.size() ? m_items[i] : createElement(i);
        setMenuItem(element, content.entries[i].name, content.entries[i].target);
    }
    if (content.error != 0) {
        // The reading ends at the damaged line; the items before it stay in the menu. The
        // file goes aside whole, never deleted (it may hold more of the user's items), so the
        // next load (the maker's sites are read again each time their menu opens) begins
        // without it. Where it cannot be moved (a read-only folder), a copy is kept and the
        // items read become the user's own file.
        QString kept = moveAside(path);
        if (kept.isEmpty()) {
            kept = keepDamagedCopy(path, *bytes);
            if (!kept.isEmpty()) {
                writeDataFile(formatDataFile(content.entries));
            }
        }
        m_holdDataFile = kept.isEmpty();
        reportDamage(content.error,
                     kept.isEmpty()
                         ? QString::fromLatin1(kLinesLeftOutNotKept)
                         : QString::fromLatin1(kLinesLeftOut).arg(fileNameForDisplay(kept)));
    }
}

void clsVarMenus::reportDamage(int error, const QString& detail) {
    dialogs().message(QString::fromLatin1(kLoadError).arg(DataFile) + detail, MsgButtons::Ok,
                      MsgIcon::Critical, QStringLiteral("Error: ") + QString::number(error));
}

QString clsVarMenus::keepDamagedCopy(const QString& path, const QByteArray& bytes) {
    // Beside the file, or where the program writes its files when that folder is read-only.
    const QFileInfo info(path);
    QString kept = keepCopyAside(info.path(), info.fileName(), bytes);
    if (kept.isEmpty() && info.path() != writableDataFolder()) {
        kept = keepCopyAside(writableDataFolder(), info.fileName(), bytes);
    }
    return kept;
}

void clsVarMenus::DeleteDataFile() {
    const QString path = joinPath(writableDataFolder(), DataFile);
    if (QFileInfo::exists(path)) {
        QFile::remove(path);
    }
}

void clsVarMenus::SaveMenu() {
    if (DataFile.isEmpty()) {
        throw ObjectError{kNoDataFile, QStringLiteral("clsVarMenus"),
                          QStringLiteral("No Data file set, set a data file before saving items")};
    }
    // An empty menu deletes the file. A first item with an empty target (a line with nothing
    // on either side) is no empty menu: the items after it are the user's and are written.
    const QList<MenuEntry> items = entries();
    writeDataFile(items.isEmpty() ? QByteArray() : formatDataFile(items));
}

void clsVarMenus::writeDataFile(const QByteArray& text) {
    if (m_holdDataFile) {
        return;
    }
    if (text.isEmpty()) {
        // Where the program's folder is read-only, an empty file of the user's own keeps the
        // shipped list from coming back.
        const QString shipped = joinPath(programFolder(), DataFile);
        if (programFolderWritable() || !QFileInfo::exists(shipped)) {
            DeleteDataFile();
            return;
        }
    }
    QSaveFile file(joinPath(writableDataFolder(), DataFile));
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size()) {
        file.commit();
    }
}

QList<MenuEntry> clsVarMenus::entries() const {
    QList<MenuEntry> list;
    for (int i = 0; i <= upperBound(); ++i) {
        if (i > 0 || !tag(0).isEmpty() || !caption(0).isEmpty()) {
            list.append(MenuEntry{caption(i), tag(i)});
        }
    }
    return list;
}

void clsVarMenus::setEntries(const QList<MenuEntry>& list) {
    while (m_items.size() > std::max<qsizetype>(list.size(), 1)) {
        unloadElement(upperBound());
    }
    for (int i = 0; i < list.size(); ++i) {
        QAction* element = i < m_items.size() ? m_items[i] : createElement(i);
        setMenuItem(element, list[i].name, list[i].target);
    }
    if (list.isEmpty()) {
        setMenuItem(m_items[0], QString(), QString());
    }
}

void clsVarMenus::DelMenuItem(int Index) {
    if (Index < 0 || Index > upperBound()) {
        return;
    }
    for (int i = Index; i < upperBound(); ++i) {
        setMenuItem(m_items[i], caption(i + 1), tag(i + 1));
    }
    if (upperBound() > 0) {
        unloadElement(upperBound());
    } else {
        setMenuItem(m_items[0], QString(), QString());
    }
}

QString clsVarMenus::RenameItem(int Index) {
    const QString answer = dialogs().input(QStringLiteral("Please enter the new name"),
                                           QStringLiteral("Change Name"), caption(Index));
    if (answer.trimmed().isEmpty()) {
        return QString();
    }
    setMenuItem(m_items[Index], answer, tag(Index));
    return answer;
}

void clsVarMenus::FillListBox(int Fill) {
    const auto fill = [this](QListWidget* list, bool tags) {
        if (!list) {
            return;
        }
        list->clear();
        for (int i = 0; i <= upperBound(); ++i) {
            const QString text = tags ? tag(i) : caption(i);
            if (!caption(i).isEmpty()) {
                list->insertItem(i, text);
            }
        }
    };
    if (Fill == 0 || Fill == 2) {
        fill(NameList, false);
    }
    if (Fill == 1 || Fill == 2) {
        fill(TagList, true);
    }
}

int clsVarMenus::AddItem(QString strName, QString strTag, bool& Fail) {
    for (int i = 0; i <= upperBound(); ++i) {
        if (tag(i).trimmed() == strTag.trimmed()) {
            dialogs().message(QStringLiteral("This is already in the menu as '") + caption(i) +
                                  QStringLiteral("'."),
                              MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Error"));
            Fail = true;
            return 0;
        }
        if (caption(i).trimmed() == strName.trimmed()) {
            dialogs().message(QStringLiteral("The name ") + strName + QStringLiteral(" is taken."),
                              MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("Error"));
            Fail = true;
            return 0;
        }
    }
    const int index = caption(0).isEmpty() ? 0 : upperBound() + 1;
    QAction* element = index == 0 ? m_items[0] : createElement(index);
    setMenuItem(element, strName, strTag);
    return index;
}

bool clsVarMenus::InArray(const QString& strChk, bool ChkTag) const {
    for (int i = 0; i <= upperBound(); ++i) {
        if ((ChkTag ? tag(i) : caption(i)) == strChk) {
            return true;
        }
    }
    return false;
}

}  // namespace gv
