#include "fullscreen/MiniBrowser.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeView>
#include <QVBoxLayout>

#include "listing/FileListing.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/DirectoryReader.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderTreeModel.h"

namespace gv {
namespace {}  // namespace

MiniBrowser::MiniBrowser(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Frame1"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    setPalette(desktopPalette());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);

    auto* title = new QWidget(this);
    auto* titleRow = new QHBoxLayout(title);
    titleRow->setContentsMargins(0, 0, 0, 0);
    Label5 = named(new QLabel(QStringLiteral("MiniBrowser"), title), "Label5");
    QFont bold = Label5->font();
    bold.setBold(true);
    Label5->setFont(bold);
    Image2 = named(new QLabel(title), "Image2");
    Image2->setPixmap(panelIcon(PanelGlyph::Dock).pixmap(16, 16));
    Image2->setToolTip(QStringLiteral("Click me!"));
    Image2->setAccessibleName(QStringLiteral("Click me!"));
    Image2->installEventFilter(this);
    shpPinOn = named(new QFrame(title), "shpPinOn");
    shpPinOn->setFixedSize(6, 6);
    shpPinOn->setStyleSheet(QStringLiteral("background: #00c000; border: 1px solid #004000;"));
    shpPinOn->hide();
    titleRow->addWidget(Label5, 1);
    titleRow->addWidget(shpPinOn);
    titleRow->addWidget(Image2);
    layout->addWidget(title);

    Drive1 = named(new VolumeComboBox(this), "Drive1");
    Drive1->setAccessibleName(QStringLiteral("Drives"));
    layout->addWidget(Drive1);
    m_folderModel = new FolderTreeModel(this);
    ftvDirs = named(new QTreeView(this), "ftvDirs");
    setFolderTreeModel(ftvDirs, m_folderModel);
    ftvDirs->header()->hide();
    ftvDirs->setAccessibleName(QStringLiteral("Folder Tree"));
    layout->addWidget(ftvDirs, 3);
    Dir1 = named(new QListWidget(this), "Dir1");
    Dir1->setAccessibleName(QStringLiteral("Folders"));
    layout->addWidget(Dir1, 2);
    File1 = named(new FileListBox(this), "File1");
    File1->setAccessibleName(QStringLiteral("Files"));
    layout->addWidget(File1, 3);

    auto* counter = new QWidget(this);
    auto* counterRow = new QHBoxLayout(counter);
    counterRow->setContentsMargins(0, 0, 0, 0);
    counterRow->setSpacing(4);
    Label3 = named(new QLabel(QStringLiteral("Viewing Image"), counter), "Label3");
    lblNumber = named(new QLabel(counter), "lblNumber");
    Label6 = named(new QLabel(QStringLiteral("of"), counter), "Label6");
    lblCount = named(new QLabel(counter), "lblCount");
    for (QLabel* l : {Label3, lblNumber, Label6, lblCount}) {
        l->setAutoFillBackground(true);
        counterRow->addWidget(l);
    }
    counterRow->addStretch(1);
    layout->addWidget(counter);
    cmdExit = named(new QPushButton(QStringLiteral("Close"), this), "cmdExit");
    layout->addWidget(cmdExit);

    connect(cmdExit, &QPushButton::clicked, this, &MiniBrowser::closeClicked);
    cmdExit->installEventFilter(this);
    connect(Drive1, &QComboBox::textActivated, this, &MiniBrowser::chooseVolume);
    connect(Drive1, &VolumeComboBox::aboutToShowPopup, this, [this] {
        const QSignalBlocker block(Drive1);
        Drive1->clear();
        Drive1->addItems(volumeRoots());
        Drive1->setCurrentText(volumeRoot(m_folder));
    });
    const auto enter = [this](QListWidgetItem* item) { goTo(item->data(Qt::UserRole).toString()); };
    connect(Dir1, &QListWidget::itemActivated, this, enter);
    connect(Dir1, &QListWidget::itemClicked, this, enter);
    connect(ftvDirs->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (index.isValid()) {
                    goTo(m_folderModel->filePath(index));
                }
            });
    // The model reads and sorts folders in the background; each step brings the tree closer.
    connect(m_folderModel, &FolderTreeModel::directoryLoaded, this, &MiniBrowser::showFolderInTree);
    connect(m_folderModel, &QAbstractItemModel::layoutChanged, this,
            &MiniBrowser::showFolderInTree);
    connect(File1, &FileListBox::currentRowChanged, this, [this](int row) {
        refreshCounts();
        if (!appState().SuppressFileClick && row >= 0) {
            Q_EMIT fileChosen(row);
        }
    });
    // The right button asks for the Favourites menu over the lists; it does not choose the
    // row it is over.
    for (QWidget* list : std::initializer_list<QWidget*>{Dir1->viewport(), File1->viewport(),
                                                         ftvDirs->viewport()}) {
        list->installEventFilter(this);
    }
}

bool MiniBrowser::setFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    if (clean == m_folder || !isFolder(clean)) {
        return false;
    }
    m_folder = clean;
    {
        const QSignalBlocker block(Drive1);
        const QString root = volumeRoot(m_folder);
        if (Drive1->findText(root) < 0) {
            Drive1->addItem(root);
        }
        Drive1->setCurrentText(root);
    }
    if (m_folderModel->rootPath() != QStringLiteral("/")) {
        m_folderModel->setRootPath(QStringLiteral("/"));
    }
    showFolderInTree();
    fillFolderList();
    refreshFileList();
    return true;
}

void MiniBrowser::goTo(const QString& folder) {
    if (setFolder(folder)) {
        Q_EMIT folderChanged(m_folder);
    }
}

void MiniBrowser::chooseVolume(const QString& root) {
    if (root == volumeRoot(m_folder)) {
        return;  // the drive did not change: the folder stays
    }
    // The list names mount points: one whose volume went meanwhile is a plain folder now.
    const FolderFailure failure = isVolumeAvailable(root)
                                      ? folderFailure(root)
                                      : FolderFailure{kErrDeviceUnavailable, QString()};
    if (failure.number != 0) {
        if (failure.number == kErrDeviceUnavailable) {
            dialogs().message(QStringLiteral("Drive unavailable"), MsgButtons::Ok,
                              MsgIcon::Exclamation, QStringLiteral("Problem"), this);
        } else {
            dialogs().message(failure.description, MsgButtons::Ok, MsgIcon::Critical,
                              QString::number(failure.number), this);
        }
        // The folder shown stays, and so does its volume in the list.
        const QSignalBlocker block(Drive1);
        Drive1->setCurrentText(volumeRoot(m_folder));
        return;
    }
    goTo(root);
}

void MiniBrowser::fillFolderList() {
    const QSignalBlocker block(Dir1);
    Dir1->clear();
    const auto add = [this](const QString& text, const QString& path) {
        auto* item = new QListWidgetItem(text, Dir1);
        item->setData(Qt::UserRole, path);
    };
    const QString parent = QFileInfo(m_folder).path();
    if (parent != m_folder) {
        add(QStringLiteral(".."), parent);
    }
    // Read by the bytes of the names, so a folder whose name is not UTF-8 opens itself.
    QStringList names = readSubfolders(m_folder).names;
    names.sort(Qt::CaseInsensitive);
    for (const QString& name : names) {
        add(fileNameForDisplay(name), joinPath(m_folder, name));
    }
}

void MiniBrowser::showFolderInTree() {
    const QSignalBlocker block(ftvDirs->selectionModel());
    revealFolderInTree(ftvDirs, m_folderModel, m_folder);
}

void MiniBrowser::refreshFileList() {
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    File1->setNames(readImageFileNames(m_folder, m_pattern));
    state.SuppressFileClick = suppress;
    refreshCounts();
}

int MiniBrowser::reloadFiles(const QString& keep) {
    refreshFileList();
    const int row = File1->rowOf(keep);
    if (row >= 0) {
        AppState& state = appState();
        const bool suppress = state.SuppressFileClick;
        state.SuppressFileClick = true;
        File1->setCurrentRow(row);
        File1->setSelected(row, true);
        state.SuppressFileClick = suppress;
    }
    refreshCounts();
    return row;
}

void MiniBrowser::refreshCounts() {
    lblCount->setText(QString::number(File1->count()));
    lblNumber->setText(QString::number(File1->currentRow() + 1));
}

void MiniBrowser::setPinned(bool pinned) {
    m_pinned = pinned;
    shpPinOn->setVisible(pinned);
}

void MiniBrowser::setGreyMode() {
    const QColor frameGrey(0x80, 0x80, 0x80);
    const QColor listGrey(0xE0, 0xE0, 0xE0);
    QPalette frame = palette();
    frame.setColor(QPalette::Window, frameGrey);
    setPalette(frame);
    for (QWidget* list : std::initializer_list<QWidget*>{Drive1, Dir1, File1}) {
        QPalette p = list->palette();
        p.setColor(QPalette::Base, listGrey);
        p.setColor(QPalette::Button, listGrey);
        list->setPalette(p);
    }
    // The desktop's style shades a drop-down list's face as a button: the drive list gets
    // the flat grey of the two lists below it (a face of its own needs a border of its own).
    Drive1->setStyleSheet(QStringLiteral("QComboBox#Drive1 { background-color: %1; "
                                         "border: 1px solid #808080; padding: 1px 4px; }")
                              .arg(listGrey.name()));
    for (QLabel* l : {Label3, Label6, lblNumber, lblCount}) {
        QPalette p = l->palette();
        p.setColor(QPalette::Window, frameGrey);
        p.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(p);
    }
}

bool MiniBrowser::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == cmdExit) {
        // Any button released over "Close" gives the folder list the keyboard; the left one
        // goes on to close the viewer.
        if (type == QEvent::MouseButtonRelease) {
            Dir1->setFocus(Qt::MouseFocusReason);
        }
        return false;
    }
    if (watched == Image2) {
        if (type == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            setPinned(!m_pinned);
            return true;
        }
        return false;
    }
    // A list's viewport (the filter is installed on nothing else).
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    }
    if (type == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        Q_EMIT favouritesMenuRequested(
            static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    return false;
}

}  // namespace gv
