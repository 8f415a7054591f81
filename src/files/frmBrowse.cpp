#include "files/frmBrowse.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>

#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "startup/AppState.h"
#include "widgets/FolderTreeModel.h"

namespace gv {

frmBrowse::frmBrowse(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmBrowse"));
    setWindowTitle(QStringLiteral("Browse Directories"));
    appState().SecondaryWindowOpen = true;

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);
    Label2 = new QLabel(QStringLiteral("Directories"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    m_model = new FolderTreeModel(this);
    m_model->setRootPath(QStringLiteral("/"));
    ftvDirs = new QTreeView(this);
    ftvDirs->setObjectName(QStringLiteral("ftvDirs"));
    ftvDirs->setAccessibleName(QStringLiteral("Directories"));
    setFolderTreeModel(ftvDirs, m_model);
    ftvDirs->header()->hide();
    const QString favourites =
        appState().FavoriteSpelling ? QStringLiteral("Favorites") : QStringLiteral("Favourites");
    Label3 = new QLabel(favourites, this);
    Label3->setObjectName(QStringLiteral("Label3"));
    lstFavs = new QListWidget(this);
    lstFavs->setObjectName(QStringLiteral("lstFavs"));
    lstFavs->setAccessibleName(favourites);
    Command2 = new QPushButton(QStringLiteral("OK"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setDefault(true);
    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Label3, 1, 1);
    grid->addWidget(ftvDirs, 2, 0);
    grid->addWidget(lstFavs, 2, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command2);
    buttons->addWidget(Command1);
    grid->addLayout(buttons, 3, 0, 1, 2);
    resize(520, 380);

    connect(ftvDirs->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ChosenDir = m_model->filePath(current); });
    connect(m_model, &FolderTreeModel::directoryLoaded, this, [this] {
        if (!m_wanted.isEmpty()) {
            selectFolder(m_wanted);
        } else if (m_following) {
            // Folders read on the way moved the selected one.
            ftvDirs->scrollTo(ftvDirs->currentIndex(), QAbstractItemView::PositionAtCenter);
        }
    });
    // Folders read and sorted later move the selected one: bring it back into sight, until
    // the user scrolls the tree.
    connect(m_model, &QAbstractItemModel::layoutChanged, this, [this] {
        if (m_following) {
            ftvDirs->scrollTo(ftvDirs->currentIndex(), QAbstractItemView::PositionAtCenter);
        }
    });
    connect(ftvDirs->verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { m_following = false; });
    connect(lstFavs, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = lstFavs->row(item);
        if (row >= 0 && row < m_favourites.size()) {
            selectFolder(m_favourites[row].folder);
        }
    });
    connect(Command2, &QPushButton::clicked, this, [this] {
        const QModelIndex current = ftvDirs->currentIndex();
        if (current.isValid()) {
            ChosenDir = m_model->filePath(current);
        }
        Cancelled = false;
        accept();
    });
    connect(Command1, &QPushButton::clicked, this, &frmBrowse::reject);
}

frmBrowse::~frmBrowse() {
    appState().SecondaryWindowOpen = false;
}

void frmBrowse::setFavourites(const QList<Favourite>& favourites) {
    m_favourites = favourites;
    lstFavs->clear();
    for (const Favourite& f : favourites) {
        lstFavs->addItem(f.name);
    }
    // "No Favourites" alone is a placeholder, not a folder to go to.
    lstFavs->setEnabled(!(favourites.size() == 1 && favourites[0].folder.isEmpty()));
}

void frmBrowse::selectFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    ChosenDir = clean;
    m_wanted = clean;
    revealFolderInTree(ftvDirs, m_model, clean);
    if (m_model->index(clean).isValid()) {
        ftvDirs->scrollTo(m_model->index(clean), QAbstractItemView::PositionAtCenter);
        m_wanted.clear();
        m_following = true;
    }
}

bool frmBrowse::ShowBrowse(QWidget* Owner, const QString& Msg, const QString& InitDir,
                           QString* puDest) {
    if (Owner && Owner != parentWidget()) {
        setParent(Owner, windowFlags());
    }
    Label1->setText(Msg);
    Cancelled = true;  // the title bar's close box counts as Cancel
    selectFolder(InitDir);
    if (dialogs().execModal(*this) == QDialog::Accepted) {
        Cancelled = false;
    }
    m_wanted.clear();
    if (puDest) {
        *puDest = ChosenDir;
    }
    return !Cancelled;
}

}  // namespace gv
