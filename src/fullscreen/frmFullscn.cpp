#include "fullscreen/frmFullscn.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileSystemModel>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "fullscreen/FullScreenRules.h"
#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "images/PrefetchCache.h"
#include "listing/FileListing.h"
#include "mainwindow/FileListBox.h"
#include "mainwindow/ImageBox.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "platform/Trace.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"

namespace gv {
namespace {

constexpr int kLockMs = 300;
// The MiniBrowser's design size and top, and the hover strips, in twips.
constexpr int kMiniWidthTw = 2880;
constexpr int kMiniHeightTw = 6010;
constexpr int kMiniTopTw = 1755;
constexpr int kMiniOnWidthTw = 195;
constexpr int kMenuStripHeightTw = 480;
constexpr int kScrollStepTw = 100;
constexpr int kBarThicknessTw = 200;

bool isOne(const SettingKey& key) {
    return GetSetting(key).trimmed() == QStringLiteral("1");
}

// The desktop's own colours, set role by role so that the viewer's background colour, which
// the window hands down to its children, does not reach the browser and the menu bar.
QPalette desktopPalette() {
    const QPalette desktop = QApplication::palette();
    QPalette p = desktop;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto r = static_cast<QPalette::ColorRole>(role);
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            p.setColor(group, r, desktop.color(group, r));
        }
    }
    return p;
}

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A see-through strip that only notices the pointer and the mouse buttons.
QWidget* strip(QWidget* parent, const char* name) {
    auto* w = named(new QWidget(parent), name);
    w->setAttribute(Qt::WA_NoSystemBackground);
    w->setMouseTracking(true);
    return w;
}

int buttonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::RightButton:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

frmFullscn::frmFullscn(const FullScreenStart& start, FullScreenHost host, QWidget* parent)
    : QDialog(parent), m_host(std::move(host)), m_screen(start.screen), m_pattern(start.pattern) {
    setObjectName(QStringLiteral("frmFullscn"));
    setWindowTitle(QStringLiteral("Glimvane"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    AppState& state = appState();

    // 1. The navigation lock of the first moments.
    state.SecondaryWindowOpen = true;
    Tim = named(new QTimer(this), "Tim");
    Tim->setSingleShot(true);
    Tim->setInterval(kLockMs);
    Tim->start();

    m_barThickness = qRound(kBarThicknessTw / twipsPerPixelX());
    m_stepX = qMax(1, qRound(kScrollStepTw / twipsPerPixelX()));
    m_stepY = qMax(1, qRound(kScrollStepTw / twipsPerPixelY()));
    buildControls();
    buildMiniBrowser();
    buildMenus();

    // 2. The whole monitor: placed on it, then full screen there (the window manager keeps
    // it above the desktop's panels).
    setGeometry(m_screen);
    setWindowState(Qt::WindowFullScreen);
    trace(QStringLiteral("fullscreen: %1,%2 %3x%4")
              .arg(m_screen.x())
              .arg(m_screen.y())
              .arg(m_screen.width())
              .arg(m_screen.height()));
    placeStrips();
    state.FullScreenActive = true;

    // 3-5. The main window's folder and drive, the colours and options, the counts.
    m_opening = true;
    setFolder(start.folder);
    m_opening = false;
    int count = 0;
    const FullScreenColours* colours = fullScreenColours(&count);
    const QString stored = GetSetting(keys::kFullScreenColour);
    int colour = 0;
    for (int i = 0; i < count; ++i) {
        if (colours[i].name.compare(stored, Qt::CaseInsensitive) == 0) {
            colour = i;
        }
    }
    applyColour(colour, false);
    applyInfo(GetSetting(keys::kFullScreenInfo) != QStringLiteral("Off"), false);
    if (isOne(keys::kFsMbAl)) {
        setPinned(true);
        showMiniBrowser(true);
    }
    if (isOne(keys::kGreyMode)) {
        setGreyMode();
    }
    m_shownPath = start.imagePath;
    Label1->setText(m_shownPath);
    Label1->adjustSize();

    // 6. The main window's picture, as it is.
    Image1->setPicture(start.picture);
    layoutPicture();

    // 8. The main window's selection, without loading it again.
    state.SuppressFileClick = true;
    if (start.selectedRow >= 0 && start.selectedRow < File1->count()) {
        File1->setCurrentRow(start.selectedRow);
        File1->setSelected(start.selectedRow, true);
    }
    state.SuppressFileClick = false;
    refreshCounts();
}

frmFullscn::~frmFullscn() {
    AppState& state = appState();
    state.FullScreenActive = false;
    state.SecondaryWindowOpen = false;
}

void frmFullscn::buildControls() {
    Picture1 = named(new ViewArea(this), "Picture1");
    Picture1->setMouseTracking(true);
    Image1 = named(new ImageBox(Picture1), "Image1");
    Image1->setMouseTracking(true);
    HScroll1 = named(new QScrollBar(Qt::Horizontal, this), "HScroll1");
    VScroll1 = named(new QScrollBar(Qt::Vertical, this), "VScroll1");
    HScroll1->setAccessibleName(QStringLiteral("Horizontal Scroll"));
    VScroll1->setAccessibleName(QStringLiteral("Vertical Scroll"));
    for (QScrollBar* bar : {HScroll1, VScroll1}) {
        // A scroll bar never keeps the keyboard: the view takes it back.
        bar->setFocusPolicy(Qt::NoFocus);
        bar->hide();
    }
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this](int v) { Image1->move(-v, Image1->y()); });
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int v) { Image1->move(Image1->x(), -v); });
    Picture1->setFocusPolicy(Qt::StrongFocus);

    Label1 = named(new QLabel(this), "Label1");
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(10);
    Label1->setFont(arial);
    Label1->setAccessibleName(QStringLiteral("Image Path"));

    Image3 = named(new QLabel(this), "Image3");
    Image3->setPixmap(applicationIcon().pixmap(24, 24));
    Image3->setToolTip(QStringLiteral("Glimvane"));
    Image3->setAccessibleName(QStringLiteral("Glimvane"));

    lblMiniOn = strip(this, "lblMiniOn");
    lblMiniOff = strip(this, "lblMiniOff");
    Label2 = strip(this, "Label2");
    Label4 = strip(this, "Label4");
    for (QObject* o : std::initializer_list<QObject*>{this, Picture1, Image1, Label1, Image3,
                                                      lblMiniOn, lblMiniOff, Label2, Label4}) {
        o->installEventFilter(this);
    }
}

void frmFullscn::buildMiniBrowser() {
    Frame1 = named(new QFrame(this), "Frame1");
    Frame1->setFrameShape(QFrame::Panel);
    Frame1->setFrameShadow(QFrame::Raised);
    Frame1->setAutoFillBackground(true);
    // The browser keeps the desktop's colours over the viewer's background.
    Frame1->setPalette(desktopPalette());
    auto* layout = new QVBoxLayout(Frame1);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);

    auto* title = new QWidget(Frame1);
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

    Drive1 = named(new VolumeComboBox(Frame1), "Drive1");
    Drive1->setAccessibleName(QStringLiteral("Drives"));
    layout->addWidget(Drive1);
    m_folderModel = new QFileSystemModel(this);
    m_folderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_folderModel->setReadOnly(true);
    ftvDirs = named(new QTreeView(Frame1), "ftvDirs");
    ftvDirs->setModel(m_folderModel);
    for (int c = 1; c < 4; ++c) {
        ftvDirs->setColumnHidden(c, true);
    }
    ftvDirs->header()->hide();
    ftvDirs->setAccessibleName(QStringLiteral("Folder Tree"));
    layout->addWidget(ftvDirs, 3);
    Dir1 = named(new QListWidget(Frame1), "Dir1");
    Dir1->setAccessibleName(QStringLiteral("Folders"));
    layout->addWidget(Dir1, 2);
    File1 = named(new FileListBox(Frame1), "File1");
    File1->setAccessibleName(QStringLiteral("Files"));
    layout->addWidget(File1, 3);

    auto* counter = new QWidget(Frame1);
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
    cmdExit = named(new QPushButton(QStringLiteral("Close"), Frame1), "cmdExit");
    layout->addWidget(cmdExit);
    Frame1->hide();

    connect(cmdExit, &QPushButton::clicked, this, [this] {
        appState().SingleImageMode = false;
        appState().FullScreenActive = false;
        closeViewer();
    });
    connect(Drive1, &QComboBox::textActivated, this, &frmFullscn::chooseVolume);
    connect(Drive1, &VolumeComboBox::aboutToShowPopup, this, [this] {
        const QSignalBlocker block(Drive1);
        Drive1->clear();
        Drive1->addItems(volumeRoots());
        Drive1->setCurrentText(volumeRoot(m_folder));
    });
    connect(Dir1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setFolder(item->data(Qt::UserRole).toString()); });
    connect(Dir1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { setFolder(item->data(Qt::UserRole).toString()); });
    connect(ftvDirs->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (index.isValid()) {
                    setFolder(m_folderModel->filePath(index));
                }
            });
    // The model reads and sorts folders in the background; each step brings the tree closer.
    connect(m_folderModel, &QFileSystemModel::directoryLoaded, this,
            [this] { showFolderInTree(); });
    connect(m_folderModel, &QAbstractItemModel::layoutChanged, this,
            [this] { showFolderInTree(); });
    m_loadTimer = new QTimer(this);
    m_loadTimer->setSingleShot(true);
    m_loadTimer->setInterval(0);
    connect(m_loadTimer, &QTimer::timeout, this, &frmFullscn::loadPending);
    connect(File1, &FileListBox::currentRowChanged, this, [this](int row) {
        if (!appState().SuppressFileClick && row >= 0) {
            loadRow(row);
        }
    });
    // The right button pops up the main window's Favourites menu over the lists; it does not
    // choose the row it is over.
    for (QWidget* list : std::initializer_list<QWidget*>{Dir1->viewport(), File1->viewport(),
                                                         ftvDirs->viewport()}) {
        list->installEventFilter(this);
    }
}

void frmFullscn::buildMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setPalette(desktopPalette());
    menuBar->setAutoFillBackground(true);
    mnuOptions = named(new QMenu(QStringLiteral("View"), this), "mnuOptions");
    mnuBackCol = named(mnuOptions->addMenu(QStringLiteral("Back Colour")), "mnuBackCol");
    int count = 0;
    const FullScreenColours* colours = fullScreenColours(&count);
    for (int i = 0; i < count; ++i) {
        QAction* a = mnuBackCol->addAction(colours[i].name);
        a->setObjectName(QStringLiteral("mnuB") + colours[i].name);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { applyColour(i, true); });
        colourItems << a;
    }
    mnuInfo = mnuOptions->addAction(QStringLiteral("Show Info"));
    mnuInfo->setObjectName(QStringLiteral("mnuInfo"));
    mnuInfo->setCheckable(true);
    connect(mnuInfo, &QAction::triggered, this, [this] { applyInfo(Label1->isHidden(), true); });
    mnuOptions->addSeparator();
    mnuExit = mnuOptions->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuHelp = named(new QMenu(QStringLiteral("Help"), this), "mnuHelp");
    mnuContents = mnuHelp->addAction(QStringLiteral("Help Contents"));
    mnuContents->setObjectName(QStringLiteral("mnuContents"));
    mnuAbout = mnuHelp->addAction(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuIcon = named(new QMenu(QStringLiteral("Icon"), this), "mnuIcon");
    mnuExit2 = mnuIcon->addAction(QStringLiteral("E&xit"));
    mnuExit2->setObjectName(QStringLiteral("mnuExit2"));
    menuBar->addMenu(mnuOptions);
    menuBar->addMenu(mnuHelp);
    menuBar->hide();

    for (QAction* exit : {mnuExit, mnuExit2}) {
        connect(exit, &QAction::triggered, this, [this] {
            appState().SingleImageMode = false;
            closeViewer();
        });
    }
    // The help window belongs to another part of the program; until it is there the item
    // stays disabled.
    mnuContents->setEnabled(static_cast<bool>(m_host.showHelp));
    connect(mnuContents, &QAction::triggered, this, [this] {
        showMenuBar(false);
        if (m_host.showHelp) {
            m_host.showHelp();
        }
    });
    mnuAbout->setEnabled(static_cast<bool>(m_host.showAbout));
    connect(mnuAbout, &QAction::triggered, this, [this] {
        showMenuBar(false);
        if (m_host.showAbout) {
            m_host.showAbout();
        }
    });
}

void frmFullscn::placeStrips() {
    const int W = m_screen.width();
    const int H = m_screen.height();
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    const int miniOn = qRound(kMiniOnWidthTw / tx);
    lblMiniOn->setGeometry(0, 0, miniOn, H);
    // 7. The MiniBrowser beside the strip, moved up where the screen is too low for it.
    int top = qRound(kMiniTopTw / ty);
    const int height = qMin(H, qRound(kMiniHeightTw / ty));
    if (top + height > H) {
        top /= 4;
    }
    Frame1->setGeometry(miniOn, top, qRound(kMiniWidthTw / tx), height);
    lblMiniOff->setGeometry(Frame1->geometry().right() + 1, 0, miniOn, H);
    const int menuStrip = qRound(kMenuStripHeightTw / ty);
    Label2->setGeometry(miniOn, 0, W - miniOn, menuStrip);
    Label4->setGeometry(0, menuStrip + menuBar->sizeHint().height(), W, 4);
    menuBar->setGeometry(0, 0, W, menuBar->sizeHint().height());
    Label1->move(miniOn + 4, 2);
    Image3->setGeometry(W - 30, H - 30, 24, 24);
    lblMiniOff->hide();
}

void frmFullscn::ColReset() {
    for (QAction* a : colourItems) {
        a->setChecked(false);
    }
}

void frmFullscn::applyColour(int index, bool store) {
    int count = 0;
    const FullScreenColours& c = fullScreenColours(&count)[qBound(0, index, count - 1)];
    Picture1->setBackground(c.background);
    QPalette p = palette();
    p.setColor(QPalette::Window, c.background);
    setPalette(p);
    setAutoFillBackground(true);
    QPalette info = Label1->palette();
    info.setColor(QPalette::WindowText, c.information);
    Label1->setPalette(info);
    ColReset();
    colourItems[qBound(0, index, count - 1)]->setChecked(true);
    if (store) {
        SaveSetting(keys::kFullScreenColour, c.name);
    }
}

void frmFullscn::applyInfo(bool shown, bool store) {
    Label1->setVisible(shown);
    Label1->raise();
    mnuInfo->setChecked(shown);
    if (store) {
        SaveSetting(keys::kFullScreenInfo, shown ? QStringLiteral("On") : QStringLiteral("Off"));
    }
}

void frmFullscn::setGreyMode() {
    QPalette frame = Frame1->palette();
    frame.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    Frame1->setPalette(frame);
    for (QWidget* list : std::initializer_list<QWidget*>{Drive1, Dir1, File1}) {
        QPalette p = list->palette();
        p.setColor(QPalette::Base, QColor(0xE0, 0xE0, 0xE0));
        list->setPalette(p);
    }
    for (QLabel* l : {Label3, Label6, lblNumber, lblCount}) {
        QPalette p = l->palette();
        p.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
        p.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(p);
    }
}

void frmFullscn::setPinned(bool pinned) {
    m_pinned = pinned;
    shpPinOn->setVisible(pinned);
}

void frmFullscn::showMiniBrowser(bool shown) {
    Frame1->setVisible(shown);
    lblMiniOff->setVisible(shown);
    if (shown) {
        Frame1->raise();
        lblMiniOff->raise();
    }
}

void frmFullscn::showMenuBar(bool shown) {
    menuBar->setVisible(shown);
    if (shown) {
        menuBar->raise();
    }
}

void frmFullscn::layoutPicture() {
    const int W = m_screen.width();
    const int H = m_screen.height();
    const Picture& picture = Image1->picture();
    if (picture.isNull()) {
        HScroll1->hide();
        VScroll1->hide();
        Picture1->setGeometry(0, 0, W, H);
        Image1->hide();
        return;
    }
    const QSize size = picture.sizePixels();
    const AxisLayout x = fullScreenAxis(size.width(), W, m_barThickness);
    const AxisLayout y = fullScreenAxis(size.height(), H, m_barThickness);
    Picture1->setGeometry(0, 0, x.viewport, y.viewport);
    Picture1->lower();
    Image1->setGeometry(x.offset, y.offset, size.width(), size.height());
    Image1->show();
    {
        const QSignalBlocker bh(HScroll1);
        const QSignalBlocker bv(VScroll1);
        HScroll1->setRange(0, x.barMaximum);
        HScroll1->setValue(0);
        VScroll1->setRange(0, y.barMaximum);
        VScroll1->setValue(0);
    }
    HScroll1->setPageStep(x.viewport);
    VScroll1->setPageStep(y.viewport);
    HScroll1->setGeometry(0, H - m_barThickness, W - m_barThickness, m_barThickness);
    VScroll1->setGeometry(W - m_barThickness, 0, m_barThickness, H - m_barThickness);
    HScroll1->setVisible(x.barShown);
    VScroll1->setVisible(y.barShown);
}

void frmFullscn::setFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    if (clean == m_folder || !QFileInfo(clean).isDir()) {
        return;
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
    if (m_host.folderChanged && !m_opening) {
        m_host.folderChanged(m_folder);
    }
}

void frmFullscn::fillFolderList() {
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
    for (const QFileInfo& sub : QDir(m_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                             QDir::Name | QDir::IgnoreCase)) {
        add(sub.fileName(), sub.absoluteFilePath());
    }
}

void frmFullscn::showFolderInTree() {
    const QSignalBlocker block(ftvDirs->selectionModel());
    revealFolderInTree(ftvDirs, m_folderModel, m_folder);
}

void frmFullscn::refreshFileList() {
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    File1->setNames(readImageFileNames(m_folder, m_pattern));
    state.SuppressFileClick = suppress;
    refreshCounts();
}

void frmFullscn::refreshCounts() {
    lblCount->setText(QString::number(File1->count()));
    lblNumber->setText(QString::number(File1->currentRow() + 1));
}

void frmFullscn::chooseVolume(const QString& root) {
    if (!isVolumeAvailable(root)) {
        dialogs().message(QStringLiteral("Drive unavailable"), MsgButtons::Ok, MsgIcon::Exclamation,
                          QStringLiteral("Problem"), this);
        const QSignalBlocker block(Drive1);
        Drive1->setCurrentText(volumeRoot(m_folder));
        return;
    }
    setFolder(root);
}

void frmFullscn::loadRow(int row) {
    appState().SingleImageMode = false;
    refreshCounts();
    m_pendingRow = row;
    m_loadTimer->start();
}

void frmFullscn::loadPending() {
    const int row = m_pendingRow;
    if (row < 0 || row >= File1->count()) {
        return;
    }
    const QString path = joinPath(m_folder, File1->text(row));
    ++m_loadsRun;
    if (fullScreenReads(typeKey(path))) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::optional<Picture> ahead;
        if (m_host.cache) {
            ahead = m_host.cache->take(path, QSize());
        }
        const DecodeResult result = ahead ? DecodeResult(*ahead) : DecodeImageFile(path);
        QApplication::restoreOverrideCursor();
        if (!result.ok()) {
            dialogs().message(QStringLiteral("Error!"), MsgButtons::Ok, MsgIcon::None,
                              QStringLiteral("Glimvane Error"), this);
            closeViewer();
            return;
        }
        Image1->setPicture(result.picture());
    }
    m_shownPath = path;
    Label1->setText(path);
    Label1->adjustSize();
    layoutPicture();
    prefetchAhead(row);
}

void frmFullscn::prefetchAhead(int row) {
    const int n = File1->count();
    if (!m_host.cache || n < 2) {
        return;
    }
    // The next two in the direction of travel, at the size the viewer shows them: natural.
    QStringList paths;
    for (int k = 1; k <= 2 && k < n; ++k) {
        const int next = ((row + k * m_direction) % n + n) % n;
        const QString path = joinPath(m_folder, File1->text(next));
        if (fullScreenReads(typeKey(path))) {
            paths << path;
        }
    }
    m_host.cache->prefetch(paths, QSize());
}

void frmFullscn::Navigate(int button) {
    if (Tim->isActive()) {
        return;
    }
    NavigationSettings s;
    s.closeOnClick = isOne(keys::kDisFsNav);
    s.closeAfterFirst = isOne(keys::kCloseAfter1) && appState().SingleImageMode;
    s.swapButtons = isOne(keys::kFsNav);
    const NavigationStep step = navigationStep(button, File1->currentRow(), File1->count(), s);
    if (step.close) {
        closeViewer();
        return;
    }
    m_direction = button == 1 ? -1 : 1;
    if (s.swapButtons) {
        m_direction = -m_direction;
    }
    if (!step.wrapMessage.isEmpty()) {
        dialogs().message(step.wrapMessage, MsgButtons::Ok, MsgIcon::Information,
                          QStringLiteral("Glimvane 2"), this);
    }
    if (step.select >= 0) {
        File1->setCurrentRow(step.select);
        File1->clearSelection();
        File1->setSelected(step.select, true);
    }
}

const Picture& frmFullscn::picture() const {
    return Image1->picture();
}

QString frmFullscn::shownPath() const {
    return m_shownPath;
}

void frmFullscn::closeViewer() {
    if (isVisible()) {
        done(QDialog::Accepted);
    } else {
        setResult(QDialog::Accepted);
    }
}

void frmFullscn::closeEvent(QCloseEvent* event) {
    event->accept();
}

void frmFullscn::keyPressEvent(QKeyEvent* event) {
    const auto step = [](QScrollBar* bar, int by) {
        const int value = bar->value() + by;
        if (bar->isVisible() && value >= bar->minimum() && value <= bar->maximum()) {
            bar->setValue(value);
        }
    };
    switch (event->key()) {
        case Qt::Key_Escape:
            closeViewer();
            return;
        case Qt::Key_Up:
            step(VScroll1, -m_stepY);
            return;
        case Qt::Key_Down:
            step(VScroll1, m_stepY);
            return;
        case Qt::Key_Left:
            step(HScroll1, -m_stepX);
            return;
        case Qt::Key_Right:
            step(HScroll1, m_stepX);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

bool frmFullscn::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // (The window hears its children being made before the lists exist.)
    const bool listViewport =
        File1 && (watched == Dir1->viewport() || watched == File1->viewport() ||
                  watched == ftvDirs->viewport());
    if (listViewport) {
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
        }
        if (type == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            if (m_host.favouritesMenu) {
                m_host.favouritesMenu->exec(
                    static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            }
            return true;
        }
        return false;
    }
    if (type == QEvent::Enter) {
        if (watched == lblMiniOn && !m_pinned) {
            showMiniBrowser(true);
        } else if (watched == lblMiniOff) {
            showMenuBar(false);
            if (!m_pinned) {
                showMiniBrowser(false);
            }
        } else if (watched == Label2) {
            showMenuBar(true);
        } else if (watched == Image1 || watched == Picture1 || watched == Label4) {
            showMenuBar(false);
        }
        return false;
    }
    if (type == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == Image2 && mouse->button() == Qt::LeftButton) {
            setPinned(!m_pinned);
            return true;
        }
        if (watched == Label1 || watched == Label4) {
            closeViewer();
            return true;
        }
        if (watched == Image3) {
            if (mouse->button() == Qt::LeftButton) {
                mnuIcon->popup(
                    mouse->globalPosition().toPoint() -
                    QPoint(mnuIcon->sizeHint().width() / 2, mnuIcon->sizeHint().height() / 2));
            }
            return true;
        }
        if (watched == Picture1 || watched == Image1 || watched == this || watched == lblMiniOn ||
            watched == lblMiniOff) {
            Navigate(buttonNumber(mouse->button()));
            return true;
        }
    }
    if (type == QEvent::MouseButtonDblClick && watched == Image3) {
        closeViewer();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace gv
