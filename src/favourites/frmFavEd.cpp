#include "favourites/frmFavEd.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "favourites/FavouriteStore.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "startup/AppState.h"

namespace gv {
namespace {

constexpr const char* kValid = "This favourite is valid";
constexpr const char* kInvalidQuestion = "This favourite is invalid, delete it?";
constexpr const char* kInvalidTitle = "Delete Favourite?";
constexpr const char* kDeleteQuestion =
    "This action cannot be undone, are you sure you wish to delete the favourite?";
constexpr const char* kDeleteTitle = "Glimvane Confirmation";
constexpr const char* kRenamePrompt = "Please input a new name for this favourite.";

}  // namespace

frmFavEd::frmFavEd(FavouriteStore& store, QWidget* parent, std::function<void(int)> showHelp)
    : QDialog(parent), m_store(store) {
    setObjectName(QStringLiteral("frmFavEd"));
    const bool american = appState().FavoriteSpelling;
    setWindowTitle(american ? QStringLiteral("Favorites Manager")
                            : QStringLiteral("Favourites Manager"));

    Label1 = named(
        new QLabel(american ? QStringLiteral("Favorites can be deleted, renamed and checked here")
                            : QStringLiteral("Favourites can be deleted, renamed and checked here"),
                   this),
        "Label1");
    Label2 = named(new QLabel(QStringLiteral("Name"), this), "Label2");
    Label3 = named(new QLabel(QStringLiteral("Location"), this), "Label3");
    List1 = named(new QListWidget(this), "List1");
    List1->setAccessibleName(QStringLiteral("Name"));
    List2 = named(new QListWidget(this), "List2");
    List2->setAccessibleName(QStringLiteral("Location"));
    cmdCheck = named(new QPushButton(QStringLiteral("Check Exists"), this), "cmdCheck");
    cmdRename = named(new QPushButton(QStringLiteral("Rename"), this), "cmdRename");
    cmdDelete = named(new QPushButton(QStringLiteral("Delete"), this), "cmdDelete");
    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdHelp = named(new QPushButton(QStringLiteral("Help"), this), "cmdHelp");

    auto* lists = new QGridLayout;
    lists->addWidget(Label2, 0, 0);
    lists->addWidget(Label3, 0, 1);
    lists->addWidget(List1, 1, 0);
    lists->addWidget(List2, 1, 1);
    lists->setColumnStretch(0, 2);
    lists->setColumnStretch(1, 3);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {cmdCheck, cmdRename, cmdDelete}) {
        buttons->addWidget(b);
    }
    buttons->addStretch();
    buttons->addWidget(cmdHelp);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(lists);
    layout->addLayout(buttons);
    resize(520, 300);

    // A line is chosen when it is selected; the keyboard focus alone only marks a line.
    for (QListWidget* list : {List1, List2}) {
        connect(list, &QListWidget::itemSelectionChanged, this, [this, list] {
            const QList<QListWidgetItem*> selected = list->selectedItems();
            if (!selected.isEmpty()) {
                lineChosen(list->row(selected.first()));
            }
        });
    }
    connect(cmdCheck, &QPushButton::clicked, this, &frmFavEd::cmdCheck_Click);
    connect(cmdRename, &QPushButton::clicked, this, &frmFavEd::cmdRename_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmFavEd::cmdDelete_Click);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    cmdOK->setDefault(true);
    if (showHelp) {
        connect(cmdHelp, &QPushButton::clicked, this,
                [showHelp] { showHelp(kFavouritesHelpContext); });
    } else {
        cmdHelp->setEnabled(false);
    }

    fillLists();
    enableActions(false);
    appState().SecondaryWindowOpen = true;
}

frmFavEd::~frmFavEd() {
    appState().SecondaryWindowOpen = false;
}

void frmFavEd::fillLists() {
    const QSignalBlocker block1(List1);
    const QSignalBlocker block2(List2);
    List1->clear();
    List2->clear();
    for (const Favourite& f : m_store.menuEntries()) {
        if (!f.name.isEmpty() && !f.folder.isEmpty()) {
            List1->addItem(f.name);
            // Shown as text; the folder itself (the bytes of its name) rides along.
            auto* location = new QListWidgetItem(fileNameForDisplay(f.folder), List2);
            location->setData(Qt::UserRole, f.folder);
        }
    }
    List2->setToolTip(QString());
}

void frmFavEd::lineChosen(int row) {
    {
        const QSignalBlocker block1(List1);
        const QSignalBlocker block2(List2);
        List1->setCurrentRow(row);
        List2->setCurrentRow(row);
    }
    const bool chosen = !selectedName().isEmpty() && !selectedFolder().isEmpty();
    enableActions(chosen);
    List2->setToolTip(chosen ? selectedFolder() : QString());
}

void frmFavEd::enableActions(bool enable) {
    for (QPushButton* b : {cmdCheck, cmdRename, cmdDelete}) {
        b->setEnabled(enable);
    }
}

QString frmFavEd::selectedName() const {
    const QListWidgetItem* item = List1->currentItem();
    return item ? item->text() : QString();
}

QString frmFavEd::selectedFolder() const {
    const QListWidgetItem* item = List2->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void frmFavEd::cmdCheck_Click() {
    const QString folder = selectedFolder();
    if (folder.isEmpty()) {
        return;
    }
    if (isFolder(folder)) {
        dialogs().message(QString::fromLatin1(kValid), MsgButtons::Ok, MsgIcon::None,
                          QString::fromLatin1(kProgramTitle), this);
        return;
    }
    if (dialogs().message(QString::fromLatin1(kInvalidQuestion), MsgButtons::YesNo, MsgIcon::None,
                          QString::fromLatin1(kInvalidTitle), this) == MsgAnswer::Yes) {
        cmdDelete_Click();
    }
}

void frmFavEd::cmdDelete_Click() {
    const QString name = selectedName();
    const QString folder = selectedFolder();
    if (name.isEmpty()) {
        return;
    }
    if (dialogs().message(QString::fromLatin1(kDeleteQuestion), MsgButtons::YesNo, MsgIcon::None,
                          QString::fromLatin1(kDeleteTitle), this) != MsgAnswer::Yes) {
        return;
    }
    m_store.DeleteFavourite(name, folder);
    fillLists();
    enableActions(List1->currentRow() >= 0);
}

void frmFavEd::cmdRename_Click() {
    const int row = List1->currentRow();
    const QString name = selectedName();
    const QString folder = selectedFolder();
    if (row < 0 || name.isEmpty()) {
        return;
    }
    const QString newName = dialogs().input(QString::fromLatin1(kRenamePrompt),
                                            QString::fromLatin1(kProgramTitle), QString(), this);
    if (newName.isEmpty()) {
        return;
    }
    if (!m_store.RenameFavourite(name, folder, newName, this)) {
        return;
    }
    fillLists();
    // The renamed favourite is now the last one stored; here it stays where it was.
    const QSignalBlocker block1(List1);
    const QSignalBlocker block2(List2);
    for (QListWidget* list : {List1, List2}) {
        if (list->count() > 0) {
            list->insertItem(row, list->takeItem(list->count() - 1));
        }
    }
    List1->setCurrentRow(row);
    List2->setCurrentRow(row);
    List2->setToolTip(selectedFolder());
}

}  // namespace gv
