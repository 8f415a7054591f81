#pragma once
// A menu kept in step with a data file beside the program: the editors, the user's own
// image web sites and the maker's sites. Each item of the menu array carries a display
// name (its caption) and a target (its tag: a program path or a web address). Element 0
// always exists; an empty menu is element 0 with an empty caption and tag.

#include <QList>
#include <QObject>
#include <QString>

#include "external/DataFile.h"

class QAction;
class QListWidget;
class QMenu;

namespace gv {

// The caption of a data-file menu item as the user named it (the menu shows it with any
// "&" kept as a character).
QString menuCaption(const QAction* item);
// Sets an item's caption and tag.
void setMenuItem(QAction* item, const QString& caption, const QString& tag);

class clsVarMenus final : public QObject {
    Q_OBJECT
public:
    // items is the window's menu array (element 0 made by the window); new elements go into
    // menu before `before`, or at its end.
    clsVarMenus(QMenu* menu, QList<QAction*>& items, QAction* before = nullptr);

    QListWidget* NameList = nullptr;
    QListWidget* TagList = nullptr;
    QString DataFile;

    void ReloadMenu();
    void LoadMenu();
    void SaveMenu();
    void DelMenuItem(int Index);
    QString RenameItem(int Index);
    void FillListBox(int Fill);
    int AddItem(QString strName, QString strTag, bool& Fail);
    bool InArray(const QString& strChk, bool ChkTag) const;

    int upperBound() const { return static_cast<int>(m_items.size()) - 1; }
    QString caption(int index) const;
    QString tag(int index) const;
    // The items as a list, without the empty element of an empty menu.
    QList<MenuEntry> entries() const;
    // Makes the menu show exactly these items (element 0 stays, emptied when there are none).
    void setEntries(const QList<MenuEntry>& entries);

Q_SIGNALS:
    // The user chose item index.
    void chosen(int index);

private:
    QAction* createElement(int index);
    void unloadElement(int index);
    void DeleteDataFile();
    void writeDataFile(const QByteArray& text);
    QString keepDamagedCopy(const QString& path, const QByteArray& bytes);
    void reportDamage(int error, const QString& detail);

    QMenu* m_menu;
    QList<QAction*>& m_items;
    QAction* m_before;
    QString m_namePrefix;
    // A damaged file that could not be kept aside is never written over.
    bool m_holdDataFile = false;
};

}  // namespace gv
