// The main window's load, query-unload and unload procedures, the screen check and the
// application of the window options.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTreeView>

#include "images/KeepUnsaved.h"
#include "mainwindow/AfterFirstPaint.h"
#include "mainwindow/HandOverQueue.h"
#include "mainwindow/Placement.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/Paths.h"
#include "platform/Screen.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/Trace.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
#include "settings/SettingsFileNotices.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {
namespace {

constexpr const char* kResolutionMessage =
    "For best results we recommend Glimvane to be used on at least a 800x600 display so you "
    "have easy access to the file management toolbar and Fileseek utility. ";

}  // namespace

bool frmGlimvane::Load() {
    AppState& state = appState();

    // 1-2. Receive later starts' command lines and mark this window for them. The marking
    // (a local socket) waits until this window, or a question the load asks first, is on the
    // screen; a later start that comes sooner waits for it, as the lock tells it this
    // instance is on its way. An instance that runs without the lock (no private folder for
    // it) listens for nobody.
    m_handOvers = new HandOverQueue([this](const QByteArray& bytes) { HandOver(bytes); },
                                    [this] { return m_loaded && !m_unloaded; }, this);
    if (state.instanceLock && state.instanceLock->held()) {
        m_instanceServer = std::make_unique<InstanceServer>([this] { return isVisible(); });
        connect(m_instanceServer.get(), &InstanceServer::activateRequested, this,
                [this] { QueueHandOver(QByteArray()); });
        connect(m_instanceServer.get(), &InstanceServer::commandLineReceived, this,
                &frmGlimvane::QueueHandOver);
        new AfterFirstPaint(
            this,
            [this] {
                if (m_instanceServer && m_instanceServer->listen()) {
                    trace(QStringLiteral("load: marked"));
                }
            },
            AfterFirstPaint::Modal::Counts);
    }

    // The session's end (or a `kill`) closes the window as the user would, without questions.
    m_terminationSignals = new TerminationSignals(this);
    connect(m_terminationSignals, &TerminationSignals::terminationRequested, this,
            &frmGlimvane::EndOnSignal);

    // 3-4.
    CheckScreenResolution();
    m_interface = std::make_unique<clsIface>();
    connect(m_interface.get(), &clsIface::Change, this, &frmGlimvane::mInterface_Change);
    // A settings file the store could not use has been moved aside by now: say where.
    ReportSettingsFiles(this);

    // 5-7.
    const bool programFileExists = QFileInfo::exists(programPath());
    if (programFileExists) {
        CheckComponents();
    }
    if (programFileExists && GetSetting(keys::kDeskIcon232) != QStringLiteral("1")) {
        if (dialogs().message(
                QStringLiteral("Add a desktop icon for Glimvane and Glimvane Update?"),
                MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Desktop Icons"),
                this) == MsgAnswer::Yes) {
            CreateDesktopShortcuts();
        }
        SaveSetting(keys::kDeskIcon232, QStringLiteral("1"));
    }
    UpdateReminder();

    // 8-10.
    PrepareEditorList();
    LoadDataFileMenus();
    trayhost->setToolTipText(QStringLiteral("Glimvane"));
    state.ImageIsSaved = true;

    // 11-14.
    RestoreStartFolder();
    m_supportMb = isOne(keys::kSupportMb);
    SB1->addPanel(QStringLiteral("ftype"));
    SB1->setPanelText(QStringLiteral("ftype"), QStringLiteral("Visit ") +
                                                   QString::fromLatin1(kHomePage) +
                                                   QStringLiteral(" for news and updates!"));
    const bool haveFiles = File1->count() > 0;
    Toolbar[0]->setEnabled(haveFiles);
    Toolbar[1]->setEnabled(haveFiles);
    Toolbar[5]->setEnabled(false);

    // 15-19.
    mnuFiletypesSort(true);
    setFilePattern(SetPattern());
    RestorePlacement();
    TilePic->setIcon(iconResource(105));
    if (GetSetting(keys::kImageSize) == QStringLiteral("Stretch")) {
        DisplayMode = kBestFit;
        Toolbar[6]->setIcon(iconResource(101));
    } else {
        DisplayMode = kActualSize;
        Toolbar[6]->setIcon(iconResource(102));
    }

    // 20. The image named on the command line.
    ProcessCmdLine(QString());

    // 21-23. Favourites: one menu item each, and the add command's caption for this folder.
    LoadFavourites();
    if (GetSetting(keys::kFavlist) == QStringLiteral("1")) {
        DirectoriesToggle();
    }
    ApplyAddCaption();

    // 24-26.
    ApplyScrollSensitivity();
    switch (settingToInt(GetSetting(keys::kDragSen), -1)) {
        case 0:
            m_dragStep = 40;
            break;
        case 1:
            m_dragStep = 30;
            break;
        case 2:
            m_dragStep = 20;
            break;
        case 3:
            m_dragStep = 10;
            break;
        case 4:
            m_dragStep = 5;
            break;
        case 5:
            m_dragStep = 2;
            break;
        default:
            break;
    }
    SetCursorModeFromSetting(false);

    // 27. A command-line image shown straight in full screen.
    if (isOne(keys::kImgFll) && !state.pendingCommandLine.trimmed().isEmpty()) {
        state.SingleImageMode = true;
        HideSplash();
        ShowFullScreen();
        if (isOne(keys::kCloseAfter1) && state.SingleImageMode) {
            UnloadSplash();
            m_instanceServer.reset();
            ReleaseInstance();
            m_unloaded = true;
            return false;
        }
        state.SingleImageMode = false;
    }

    // 28. Panel width and dock side.
    FraFiles->resize(m_interface->BrowserToolsWidth(), FraFiles->height());
    mInterface_Change();

    // 29-31.
    if (programFileExists && GetSetting(keys::kMaintainAss) == QStringLiteral("1")) {
        ReregisterAssociations();
    }
    if (isOne(keys::kDelFavs)) {
        CheckFavourites();
    }
    // Files read since (the update program's, the version record) are told of here.
    ReportSettingsFiles(this);
    // The stored background colour, ticked in its menu; the logo shows on black over it.
    ApplyBackColour();
    if (state.pendingCommandLine.trimmed().isEmpty()) {
        ShowLogo();
    }

    // 32-35.
    ApplyWindowOptions();
    ShowStartupTip();
    m_loaded = true;
    // The keyboard starts in the file list, so the arrow keys step through the images.
    File1->setFocus();
    show();
    UnloadSplash();
    SetCursorModeFromSetting(true);
    LayoutWindow();
    trace(QStringLiteral("load: shown"));
    HandOversAfterLoad();
    return true;
}

void frmGlimvane::CheckScreenResolution() {
    const QSize screen = screenSizePx();
    ScreenWidthPx = screen.width();
    ScreenHeightPx = screen.height();
    m_resolutionClass = 0;
    if (ScreenWidthPx < 641 && ScreenHeightPx < 481) {
        m_resolutionClass = 1;
        if (GetSetting(keys::kResolutionNoWarn) != QStringLiteral("1")) {
            if (dialogs().messageWithOptOut(QString::fromLatin1(kResolutionMessage),
                                            QStringLiteral("Screen Resolution"), this)) {
                SaveSetting(keys::kResolutionNoWarn, QStringLiteral("1"));
            }
        }
    }
    if (ScreenWidthPx == 800 && ScreenHeightPx == 600) {
        m_resolutionClass = 2;
    }
    if (ScreenWidthPx >= 801 && ScreenHeightPx >= 601) {
        m_resolutionClass = 3;
    }
}

void frmGlimvane::ApplyWindowOptions() {
    const bool flat = isOne(keys::kFlatCtl);
    for (QFrame* f :
         {static_cast<QFrame*>(Dir1), static_cast<QFrame*>(File1), static_cast<QFrame*>(List1)}) {
        f->setFrameShadow(flat ? QFrame::Plain : QFrame::Sunken);
    }
    txtSearch->setFrame(!flat);
    txtSearch->setStyleSheet(
        flat ? QStringLiteral("QLineEdit#txtSearch { border: 1px solid gray; }") : QString());

    m_trayOnly = isOne(keys::kSysTrayIcon);
    m_minimiseMode =
        GetSetting(keys::kShowMinim).compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0 ? 0
                                                                                               : 1;
    ApplyTrayIconState();
    switch (settingToInt(GetSetting(keys::kDragSen), -1)) {
        case 1:
            m_dragStep = 40;
            break;
        case 2:
            m_dragStep = 30;
            break;
        case 3:
            m_dragStep = 20;
            break;
        case 4:
            m_dragStep = 10;
            break;
        case 5:
            m_dragStep = 5;
            break;
        case 6:
            m_dragStep = 2;
            break;
        default:
            break;
    }
    m_follow = isOne(keys::kFollowOp);
    AppState& state = appState();
    state.FavoriteSpelling = isOne(keys::kFavorite);
    if (state.FavoriteSpelling) {
        mnuFav->setTitle(QStringLiteral("Favorites"));
        mnuFavMan->setText(QStringLiteral("Favorites Manager"));
    } else {
        mnuFav->setTitle(QStringLiteral("Favourites"));
        mnuFavMan->setText(QStringLiteral("Favourites Manager"));
    }
    state.Animate87aGif = !isOne(keys::kGif87a);
}

void frmGlimvane::QueryUnload() {
    m_instanceServer.reset();
    ReleaseInstance();
}

void frmGlimvane::EndOnSignal(int signalNumber) {
    if (m_unloaded) {
        return;
    }
    trace(QStringLiteral("end: signal %1").arg(signalNumber));
    AppState& state = appState();
    QueryUnload();
    if (!state.ImageIsSaved) {
        const QString kept = keepUnsavedImage(Image1->picture().fullRaster(), picturesFolder(),
                                              QDateTime::currentDateTime());
        trace(kept.isEmpty() ? QStringLiteral("end: the unsaved image could not be kept")
                             : QStringLiteral("end: unsaved image kept as ") + kept);
        state.ImageIsSaved = true;
    }
    Unload();
    FinishUnload();
}

void frmGlimvane::FinishUnload() {
    m_unloaded = true;
    // Releasing the interface state writes its keys.
    m_interface.reset();
    Q_EMIT unloaded();
}

bool frmGlimvane::Unload() {
    AppState& state = appState();
    if (!state.ImageIsSaved) {
        const MsgAnswer answer = dialogs().message(
            QStringLiteral("The image showing has not been saved, save it now?"),
            MsgButtons::YesNoCancel, MsgIcon::Exclamation, QStringLiteral("Save Image?"), this);
        if (answer == MsgAnswer::Yes) {
            mnuSave_Click();
            return false;
        }
        if (answer == MsgAnswer::Cancel) {
            return false;
        }
    }
    if (m_interface) {
        m_interface->setBrowserToolsWidth(FraFiles->width());
    }
    SavePlacement();
    SaveSetting(keys::kCursorMode, QString::number(m_cursorMode));
    SaveDataFileMenus();
    if (isOne(keys::kLastDirectory)) {
        SaveSetting(keys::kStartDir, currentFolder());
    }
    UnloadSecondaryWindows();
    UnloadSplash();
    CloseHelpAndTips();
    trayhost->setInTray(false);
    // The list's own state: the whole window may be hidden in the notification area.
    SaveSetting(keys::kFavlist, FavList->isHidden() ? QStringLiteral("0") : QStringLiteral("1"));
    return true;
}

void frmGlimvane::RestorePlacement() {
    // A value that is not a number reads as the key's default.
    const auto number = [](const SettingKey& key) {
        bool ok = false;
        const double value = GetSetting(key).trimmed().toDouble(&ok);
        return ok ? value : QString::fromLatin1(key.defaultValue).toDouble();
    };
    const WindowPlacement p =
        correctedPlacement(settingToInt(GetSetting(keys::kWindow), 0), number(keys::kLeft),
                           number(keys::kTop), number(keys::kWidth), number(keys::kHeight));
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    move(qRound(p.left / tx), qRound(p.top / ty));
    resize(qRound(p.width / tx), qRound(p.height / ty));
    if (p.state == 2) {
        setWindowState(Qt::WindowMaximized);
    }
}

void frmGlimvane::SavePlacement() {
    int state = 0;
    if (isMinimized()) {
        state = 1;
    } else if (isMaximized()) {
        state = 2;
    }
    SaveSetting(keys::kWindow, QString::number(state));
    if (state == 0) {
        const double tx = twipsPerPixelX();
        const double ty = twipsPerPixelY();
        SaveSetting(keys::kLeft, QString::number(qRound(pos().x() * tx)));
        SaveSetting(keys::kTop, QString::number(qRound(pos().y() * ty)));
        SaveSetting(keys::kWidth, QString::number(qRound(width() * tx)));
        SaveSetting(keys::kHeight, QString::number(qRound(height() * ty)));
    }
}

void frmGlimvane::SetCursorModeFromSetting(bool secondPass) {
    const int stored = settingToInt(GetSetting(keys::kCursorMode), 0);
    if (!secondPass) {
        switch (stored) {
            case 0:
                setCursorMode(kCursorNormal);
                break;
            case 1:
                setCursorMode(kCursorCrop);
                break;
            case 3:
                setCursorMode(kCursorDrag);
                break;
            default:
                setCursorMode(kCursorZoom);
                break;
        }
        return;
    }
    switch (stored) {
        case 1:
            setCursorMode(kCursorCrop);
            break;
        case 0:
            setCursorMode(kCursorNormal);
            break;
        case 3:
            setCursorMode(kCursorDrag);
            break;
        default:
            break;
    }
}

void frmGlimvane::setCursorMode(int mode) {
    m_cursorMode = mode;
    mnuNorm->setChecked(mode == kCursorNormal);
    mnuCrop->setChecked(mode == kCursorCrop);
    mnuDrag->setChecked(mode == kCursorDrag);
    mnuZoommode->setChecked(mode == kCursorZoom);
}

void frmGlimvane::ApplyScrollSensitivity() {
    static constexpr int kLargeChange[] = {20, 45, 60, 80, 110, 130};
    const int sen = settingToInt(GetSetting(keys::kScrollSen), -1);
    if (sen >= 0 && sen <= 5) {
        HScroll1->setPageStep(kLargeChange[sen]);
        VScroll1->setPageStep(kLargeChange[sen]);
    }
}

void frmGlimvane::RestoreStartFolder() {
    const QString programDir = programFolder();
    QString folder = GetSetting(keys::kStartDir, volumeRoot(programDir));
    if (folder.isEmpty() || !isFolder(folder)) {
        folder = programDir;
    }
    setCurrentFolder(folder);
}

}  // namespace gv
