#include "fullscreen/frmFullscn.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include "fullscreen/FullScreenRules.h"
#include "fullscreen/MiniBrowser.h"
#include "images/DecodeWhileAnswering.h"
#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "images/PrefetchCache.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "platform/Trace.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"
#include "widgets/ViewMath.h"

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
// The viewer's icon, in pixels, and its distance from the corner.
constexpr int kIconSize = 24;
constexpr int kIconMargin = 6;

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
    : QDialog(parent), m_host(std::move(host)), m_screen(start.screen) {
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
    Frame1 = new MiniBrowser(this);
    Frame1->setPattern(start.pattern);
    Frame1->hide();
    connect(Frame1, &MiniBrowser::folderChanged, this, [this](const QString& folder) {
        if (m_host.folderChanged) {
            m_host.folderChanged(folder);
        }
    });
    connect(Frame1, &MiniBrowser::fileChosen, this, &frmFullscn::loadRow);
    connect(Frame1, &MiniBrowser::closeClicked, this, [this] {
        appState().SingleImageMode = false;
        appState().FullScreenActive = false;
        closeViewer();
    });
    connect(Frame1, &MiniBrowser::favouritesMenuRequested, this, [this](const QPoint& at) {
        if (m_host.favouritesMenu) {
            m_host.favouritesMenu->exec(at);
        }
    });
    m_loadTimer = new QTimer(this);
    m_loadTimer->setSingleShot(true);
    m_loadTimer->setInterval(0);
    connect(m_loadTimer, &QTimer::timeout, this, &frmFullscn::loadPending);
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
    Frame1->setFolder(start.folder);
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
        Frame1->setPinned(true);
        showMiniBrowser(true);
    }
    if (isOne(keys::kGreyMode)) {
        Frame1->setGreyMode();
    }
    m_shownPath = start.imagePath;
    Label1->setText(fileNameForDisplay(m_shownPath));
    Label1->adjustSize();

    // 6. The main window's picture, as it is.
    Image1->setPicture(start.picture);
    layoutPicture();

    // 8. The main window's selection, without loading it again.
    state.SuppressFileClick = true;
    FileListBox* files = Frame1->File1;
    // By name: the main window's list may still hold only the file opened at start.
    const int row = start.selectedName.isEmpty() ? -1 : files->rowOf(start.selectedName);
    if (row >= 0) {
        files->setCurrentRow(row);
        files->setSelected(row, true);
    }
    state.SuppressFileClick = false;
    Frame1->refreshCounts();
    // The next pictures start decoding while the user looks at the first.
    if (row >= 0) {
        prefetchAhead(row);
    }
}

frmFullscn::~frmFullscn() {
    AppState& state = appState();
    state.FullScreenActive = false;
    state.SecondaryWindowOpen = false;
}

void frmFullscn::buildControls() {
    Picture1 = named(new ViewArea(this), "Picture1");
    // The picture takes the keys that step and scroll; a screen reader names it so.
    Picture1->setAccessibleName(QStringLiteral("Picture"));
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
    Image3->setPixmap(applicationIcon().pixmap(kIconSize, kIconSize));
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
    placeIcon();
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
        placeIcon();
        return;
    }
    // One image pixel per device pixel, whatever the screen's scale.
    const QSize size = actualSizeInView(picture.sizePixels(), devicePixelRatioF());
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
    // The hover strips run the screen's whole height and width: the bars lie above them, so
    // that every arrow takes its clicks.
    HScroll1->raise();
    VScroll1->raise();
    placeIcon();
}

void frmFullscn::placeIcon() {
    // In the bottom-right corner of what the picture has, clear of the scroll bars' arrows.
    const int right = m_screen.width() - (VScroll1->isVisibleTo(this) ? m_barThickness : 0);
    const int bottom = m_screen.height() - (HScroll1->isVisibleTo(this) ? m_barThickness : 0);
    Image3->setGeometry(right - kIconSize - kIconMargin, bottom - kIconSize - kIconMargin,
                        kIconSize, kIconSize);
    Image3->raise();
}

QString frmFullscn::folder() const {
    return Frame1->folder();
}

void frmFullscn::setFolder(const QString& folder) {
    Frame1->setFolder(folder);
}

void frmFullscn::loadRow(int row) {
    appState().SingleImageMode = false;
    m_pendingRow = row;
    m_loadTimer->start();
}

void frmFullscn::loadPending() {
    const int row = m_pendingRow;
    if (row < 0 || row >= Frame1->File1->count()) {
        return;
    }
    // The main window's file pattern again: the list is read anew, so files added to the
    // folder meanwhile are in it and in the count.
    const QString name = Frame1->File1->text(row);
    const int listed = Frame1->reloadFiles(name);
    const QString path = joinPath(Frame1->folder(), name);
    ++m_loadsRun;
    if (fullScreenReads(typeKey(path))) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // The viewer answers while the file decodes (or the cache waits for its decode ahead);
        // a picture asked for meanwhile supersedes this one, which is then never shown.
        const QPointer<frmFullscn> alive(this);
        const quint64 ticket = m_loads.take();
        const std::optional<DecodeResult> decoded = runWhileAnswering(
            [path, cache = m_host.cache] {
                if (const std::shared_ptr<PrefetchCache> held = cache.lock()) {
                    if (std::optional<Picture> ahead = held->take(path, QSize())) {
                        return DecodeResult(*ahead);
                    }
                }
                return DecodeImageFile(path, DecodeRequest());
            },
            m_loads, ticket);
        QApplication::restoreOverrideCursor();
        if (!alive || !decoded) {
            return;
        }
        const DecodeResult& result = *decoded;
        if (!result.ok()) {
            dialogs().message(QStringLiteral("Error!"), MsgButtons::Ok, MsgIcon::None,
                              QStringLiteral("Glimvane Error"), this);
            closeViewer();
            return;
        }
        Image1->setPicture(result.picture());
    }
    m_shownPath = path;
    Label1->setText(fileNameForDisplay(path));
    Label1->adjustSize();
    layoutPicture();
    prefetchAhead(listed >= 0 ? listed : row);
}

void frmFullscn::prefetchAhead(int row) {
    const int n = Frame1->File1->count();
    const std::shared_ptr<PrefetchCache> cache = m_host.cache.lock();
    if (!cache || n < 2) {
        return;
    }
    // The next two in the direction of travel, at the size the viewer shows them: natural.
    QStringList paths;
    for (int k = 1; k <= 2 && k < n; ++k) {
        const int next = ((row + k * m_direction) % n + n) % n;
        const QString path = joinPath(Frame1->folder(), Frame1->File1->text(next));
        if (fullScreenReads(typeKey(path))) {
            paths << path;
        }
    }
    cache->prefetch(paths, QSize());
}

void frmFullscn::Navigate(int button) {
    if (Tim->isActive()) {
        return;
    }
    NavigationSettings s;
    s.closeOnClick = isOne(keys::kDisFsNav);
    s.closeAfterFirst = isOne(keys::kCloseAfter1) && appState().SingleImageMode;
    s.swapButtons = isOne(keys::kFsNav);
    FileListBox* files = Frame1->File1;
    const NavigationStep step = navigationStep(button, files->currentRow(), files->count(), s);
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
        files->setCurrentRow(step.select);
        files->clearSelection();
        files->setSelected(step.select, true);
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
    if (type == QEvent::Enter) {
        if (watched == lblMiniOn && !Frame1->pinned()) {
            showMiniBrowser(true);
        } else if (watched == lblMiniOff) {
            showMenuBar(false);
            if (!Frame1->pinned()) {
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
        if (watched == Label1 || watched == Label4) {
            // A click is the left button; the others do nothing here.
            if (mouse->button() == Qt::LeftButton) {
                closeViewer();
            }
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
