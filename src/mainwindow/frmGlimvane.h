#pragma once
// The main browser window. Its work is split by concern over several files:
// frmGlimvaneControls.cpp (the controls), frmGlimvaneMenus.cpp (menu bar, toolbar, pop-ups),
// Lifecycle.cpp (load and unload), Layout.cpp (layout and interface switches),
// HandOver.cpp (a second start's command line), Tray.cpp (the notification-area icon).

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRectF>
#include <functional>
#include <memory>

#include "images/DecodeWhileAnswering.h"
#include "images/SaveFailure.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QScrollBar;
class QTreeView;
class QMouseEvent;

namespace gv {

class FileListBox;
class FolderTreeModel;
class frmFullscn;
class ImageBox;
class PrefetchCache;
class Picture;
class ViewArea;
class clsIface;
class InstanceServer;
class KeyedStatusBar;
class SoftButton;
class VolumeComboBox;
class TrayIcon;
class FavouriteStore;
class clsFileManager;
class clsVarMenus;
class clsShIntegration;
class clsScreen;
class frmCap;
class clsHelp;
class Tips;

// Display modes and cursor modes of the image view.
inline constexpr int kActualSize = 101;
inline constexpr int kBestFit = 102;
enum CursorMode { kCursorNormal = 0, kCursorCrop = 1, kCursorZoom = 2, kCursorDrag = 3 };

inline constexpr int kToolbarCount = 10;
inline constexpr int kFileButtonCount = 4;

// The size text of the information panel: "512 Bytes", "1Kb".
QString fileSizeText(qint64 bytes);

class frmGlimvane final : public QMainWindow {
    Q_OBJECT
public:
    explicit frmGlimvane(QWidget* parent = nullptr);
    ~frmGlimvane() override;

    // The load procedure; False when the program is to end without running (the
    // command-line image was shown full screen and the program closes after it).
    bool Load();
    void CheckScreenResolution();
    void ApplyWindowOptions();
    void ApplyTrayIconState();
    // Applies the interface switches of mInterface.
    void mInterface_Change();
    // The layout procedure run on every resize.
    void LayoutWindow();
    // Opens the image named by a command line; empty means this start's own.
    void ProcessCmdLine(const QString& command = QString());
    // A second start's hand-over (empty: bring the window to the front) waits in a queue
    // and is handled from the window's own event loop, one at a time.
    void QueueHandOver(const QByteArray& bytes);
    void HandOver(const QByteArray& bytes);
    void ReceiveCommandLine(const QByteArray& bytes);
    void ActivateFromSecondStart();
    void HandOversAfterLoad();

    // The folder shown by the folder list, and its image files in the file list.
    QString currentFolder() const;
    // The full-screen viewer over the shown picture and folder, not yet shown.
    std::unique_ptr<frmFullscn> makeFullScreen();
    PrefetchCache* prefetchCache() const { return m_prefetch.get(); }
    void setCurrentFolder(const QString& folder);
    void RefreshFileList();
    // Moves the browser to the file's folder and selects it in the file list.
    // Returns the row of the file, or -1 when the list does not hold it.
    int OpenFileInList(const QString& path);
    // As OpenFileInList, but the list holds only the file until the view has been painted;
    // then the whole folder is listed, the file selected in it.
    int OpenFileFirst(const QString& path);
    // The row of the file in the file list as it stands, or -1.
    int rowOfFile(const QString& path) const;
    void ShowLogo();

    // Menu commands that other parts of the program run.
    void mnuShowGV_Click();
    // "Show Glimvane" while the window is minimised or hidden, else "Hide Glimvane".
    void captionShowCommand();
    void mnuExit_Click();
    void mnuSave_Click();
    void mnuOpen_Click();
    void mnuClose_Click();

    // ---- The shown image ----
    // Loads the file selected in the file list.
    void LoadAndShowImage();
    // Shows a picture that is not a file (pasted, captured) as an unsaved image.
    void LoadAndShowImage(const Picture& picture);
    void ImageSaved();
    void ImageStatic();
    // The file list's click: the unsaved question, then the load.
    void File1_Click();
    // The unsaved-image question; returns the answer given.
    int AskSaveImage();
    // Asks about an unsaved picture; true when it may be replaced (saved already, or No).
    bool UnsavedImageMayGo();
    // For commands that take the whole picture: waits for the rest of one still being decoded.
    // False when it cannot be decoded; the view has then gone to the logo, with the message
    // of a file that fails to load.
    bool AwaitWholePicture();

    // ---- Browsing ----
    void NavigateBack();
    void NavigateForward();
    void GoHome();
    void RefreshCommand();
    void DirectoriesToggle();
    // Makes the row the selected, current file, which shows it (again, if it already was).
    void selectRow(int row);

    // ---- File and folder commands (FileCommands.cpp) ----
    void mnuDel_Click();
    void mnuRename_Click();
    void mnuMove_Click();
    void mnuCopyFile_Click();
    void mnuCreateDir_Click();
    void mnuMoveDir_Click();
    void mnuCopyDir_Click();
    void mnuDelDir_Click();

    // ---- Fileseek ----
    void RunFileseek(const QString& text, QListWidget* results);
    void ChooseFileseekResult(QListWidgetItem* item);
    void mnuFileseek_Click();
    void ExplainFileseek();
    void ShowAbout();
    void OpenStudio();
    bool fileseekExplained() const { return m_fileseekExplained; }

    // ---- The image view ----
    void DisplayImage();
    void ActualSizeImage();
    void BestFitImage();
    void TileImage(bool& untile);
    void SetModePanel(int mode, bool tiled);
    void ToggleDisplayMode();
    void TilePic_Click();
    void ApplyBackColour();
    QRectF imageRect() const { return m_imageRect; }
    QString animatedFile() const { return m_animatedFile; }

    // ---- Favourites ----
    FavouriteStore* favourites() const { return m_favourites; }
    void RefreshFavList();
    void mnuAdd_Click();
    void mnuFav1_Click(int index);
    void FavList_Click(const QString& line);
    void mnuFavMan_Click();
    // The add/delete command's caption for the current folder.
    void ApplyAddCaption();

    // ---- File Types ----
    void mnuFiletypesSort(bool Loadmnus);
    QString SetPattern() const;
    bool CheckPCXSupport();
    void mnuFTs_Click(int index, bool markFlipped = false);
    void mnuImages_Click();
    QString filePattern() const;
    void setFilePattern(const QString& pattern);

    // ---- Edit and Go menus: clipboard, wallpaper, editors and web sites ----
    void mnuEdit_Click();
    void mnuCopy_Click();
    void mnuCopyImg_Click();
    void mnuPaste_Click();
    void mnuClear_Click();
    void mnuCenter_Click();
    void mnuTileImage_Click();
    void mnuEditors_Click(int index);
    void mnuGoItem_Click();
    void mnuImgWebs_Click(int index);
    void mnuMyWebs_Click(int index);
    void mnuLink_Click(int index);
    void mnuAddlnkManually_Click();
    // Made on first use and kept while the program runs.
    clsShIntegration& shellIntegration();
    // The tray menu's Go submenu, copied from the maker's sites.
    void RebuildTrayGoMenu();
    clsVarMenus* editorMenus() const { return m_editorMenus; }
    clsVarMenus* myWebMenus() const { return m_myWebMenus; }
    clsVarMenus* imgWebMenus() const { return m_imgWebMenus; }

    // ---- Screen capture (Capture.cpp) ----
    // The program's capture engine, made on first use and kept while the program runs.
    clsScreen& screenEngine();
    // Shows a captured picture: the capture windows unloaded, this window in front, the
    // unsaved-image question first when the shown picture is not saved.
    void GetCapture(const Picture& picture);
    // The capture set-up while it is open or waiting for its trigger.
    frmCap* captureSetup() const;

    clsIface* interfaceState() const { return m_interface.get(); }
    TrayIcon* trayIcon() const { return trayhost; }
    // The help window, once help was shown; the tips and their window.
    clsHelp* helpWindows() const { return m_help.get(); }
    Tips* tips() const { return m_tips.get(); }
    int resolutionClass() const { return m_resolutionClass; }
    int screenWidthPx() const { return ScreenWidthPx; }
    int screenHeightPx() const { return ScreenHeightPx; }
    int displayMode() const { return DisplayMode; }
    int cursorMode() const { return m_cursorMode; }
    int dragStep() const { return m_dragStep; }
    bool trayOnly() const { return m_trayOnly; }
    int minimiseMode() const { return m_minimiseMode; }
    bool followOperations() const { return m_follow; }
    bool supportNeoplanetOpera() const { return m_supportMb; }
    bool logoShown() const { return LogoShown; }
    bool tileMode() const { return TileMode; }

    // ---- Controls (objectName = the member's name) ----
    QWidget* inner = nullptr;  // the window's inner area
    ViewArea* Picture1 = nullptr;
    ImageBox* Image1 = nullptr;
    QLabel* aniImg = nullptr;
    QLabel* lblSelSize = nullptr;
    QFrame* Shape1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    SoftButton* TilePic = nullptr;
    QWidget* picSplitter = nullptr;
    QWidget* imgSplitter = nullptr;
    QFrame* FraFiles = nullptr;
    VolumeComboBox* Drive1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QTreeView* ftvDirs = nullptr;
    FolderTreeModel* m_folderModel = nullptr;
    QString m_folder;  // the folder list's current folder
    // The tree keeps the current folder in sight while it reads its way down to it, until the
    // user scrolls or opens folders in it; m_treeMoving marks the window's own moves.
    bool m_treeFollowsFolder = false;
    bool m_treeMoving = false;
    // Set while the tree waits for the window's first paint to show the start folder.
    bool m_treeWaitsForPaint = false;
    bool m_selectSearchOnRelease = false;  // a click brought the focus to the search box
    QListWidget* FavList = nullptr;
    FileListBox* File1 = nullptr;
    QWidget* Picture2 = nullptr;
    QList<SoftButton*> Fbts;
    QLabel* lblBTfiles = nullptr;
    QLabel* lblBTCap = nullptr;
    SoftButton* SoftBttn1 = nullptr;
    SoftButton* stbBTRefresh = nullptr;
    SoftButton* sbtToggleDock = nullptr;
    QLabel* lblBTFiles2 = nullptr;
    QLabel* Label3 = nullptr;
    SoftButton* sbtCloseFileseek = nullptr;
    QList<QLabel*> imgBrowserTools;
    QLineEdit* txtSearch = nullptr;
    QListWidget* List1 = nullptr;
    QList<SoftButton*> Toolbar;
    QWidget* toolbarRow = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;
    KeyedStatusBar* SB1 = nullptr;
    QLabel* Image2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* FileName = nullptr;
    QLabel* ImDimen = nullptr;
    QLabel* ImageSize = nullptr;
    QLabel* ftype = nullptr;
    QLabel* FileDate = nullptr;
    TrayIcon* trayhost = nullptr;

    // ---- Menus (objectName = the member's name) ----
    QMenu *mnuFileItem = nullptr, *mnuEdit = nullptr, *mnuEditor = nullptr, *mnuView = nullptr,
          *mnuCurmodes = nullptr, *mnuZoom = nullptr, *mnuBackCol = nullptr, *mnuFav = nullptr,
          *mnuTools = nullptr, *mnuWallpaper = nullptr, *mnuSysTrayIcon = nullptr,
          *mnuFT = nullptr, *mnuGoItem = nullptr, *mnuArtgal = nullptr, *mnuImgsites = nullptr,
          *mnuMyWeb = nullptr, *mnuAddlink = nullptr, *mnuHelp = nullptr,
          *mnuTrayhost = nullptr, *mnuGoMen = nullptr;
    QAction *mnuOpen = nullptr, *mnuSave = nullptr, *mnuClose = nullptr, *mnuDel = nullptr,
            *mnuRename = nullptr, *mnuMove = nullptr, *mnuCopyFile = nullptr,
            *mnuRefresh = nullptr, *mnuExit = nullptr;
    QAction *mnuCopy = nullptr, *mnuPaste = nullptr, *mnuClear = nullptr;
    QAction *mnuBrowseTools = nullptr, *mnuFileseekToggle = nullptr, *mnuBTDock = nullptr,
            *mnuNorm = nullptr, *mnuDrag = nullptr, *mnuCrop = nullptr, *mnuZoommode = nullptr,
            *mnuNormal = nullptr, *mnuZoomin = nullptr, *mnuZoomout = nullptr,
            *mnuStatus = nullptr, *mnuFullscrn = nullptr, *mnuBGrey = nullptr,
            *mnuBWhite = nullptr, *mnuBBlack = nullptr, *mnuChooseCol = nullptr;
    QAction *mnuCreateDir = nullptr, *mnuMoveDir = nullptr, *mnuCopyDir = nullptr,
            *mnuDelDir = nullptr, *mnuAdd = nullptr, *mnuFavMan = nullptr;
    QAction *mnuCenter = nullptr, *mnuTileImage = nullptr, *mnuFileseek = nullptr,
            *mnuSysBoth = nullptr, *mnuSysTask = nullptr, *mnuSysTray = nullptr,
            *mnuOptions = nullptr;
    QAction *mnuProp = nullptr, *mnuPropSeparator = nullptr, *mnuFTsEnd = nullptr,
            *mnuImages = nullptr;
    QAction *mnuMail = nullptr, *mnuHomepage = nullptr, *mnuCVLWebsite = nullptr,
            *mnuVividraimghme = nullptr, *mnuOpenGVStud = nullptr, *mnuSubmitweb = nullptr,
            *mnuAddlnkManually = nullptr, *mnuUpdateLinks = nullptr, *mnuEditLinks = nullptr;
    QAction *mnuHelpcont = nullptr, *mnuReadme = nullptr, *mnuTips = nullptr,
            *mnuUpdate = nullptr, *mnuAboutItem = nullptr;
    QAction *mnuShowGV = nullptr, *mnuCopyImg = nullptr, *mnuAboutGV = nullptr,
            *mnuCloseGV = nullptr;
    // Menu arrays.
    QList<QAction*> mnuEditors, mnuFTs, mnuFav1, mnuArtgalLnk, mnuImgWebs, mnuMyWebs, mnuLink,
        mnuImgWebs2;

Q_SIGNALS:
    // The window has unloaded; the program ends.
    void unloaded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildToolbar();
    void connectCommands();

    // Lifecycle pieces.
    void QueryUnload();
    bool Unload();  // False when the unload was cancelled
    // The window's last steps once it has unloaded, however it came to end.
    void FinishUnload();
    // A termination signal: ends as a close does, without questions; an unsaved image is kept
    // in a new file in the pictures folder.
    void EndOnSignal(int signalNumber);
    void RestorePlacement();
    void SavePlacement();
    void SetCursorModeFromSetting(bool secondPass);
    void ApplyScrollSensitivity();
    void RestoreStartFolder();

    // Steps that belong to later parts of the program; each does its part's work.
    void PrepareEditorList();
    void LoadDataFileMenus();
    void SaveDataFileMenus();
    void LoadFavourites();
    void CheckFavourites();
    void connectFavourites();
    void ReregisterAssociations();
    void ShowStartupTip();
    void ShowFullScreen();
    // The open full-screen viewer's folder follows the main window's.
    void FollowFolderInFullScreen(const QString& folder);
    void ShowHelpTopic(int contextNumber);
    // ---- Help, read-me and tips (HelpAndTips.cpp) ----
    void connectHelpCommands();
    void mnuHelpcont_Click();
    void mnuTips_Click();
    void CloseHelpAndTips();
    clsHelp& help();
    // The options dialog, on the tab of that key.
    void ShowOptions(const QString& tab = QStringLiteral("main"));
    void ShowCaptureSetup();
    void UnloadSecondaryWindows();
    void CreateDesktopShortcuts();
    void connectViewCommands();
    void connectNavigation();
    void connectFileCommands();
    // The program's one file manager, made on first use.
    clsFileManager& fileManager();
    void copyOrMoveFiles(bool move);
    // The list read again with the selection at rowAfterDelete of the old current row.
    void reselectAfterDelete();
    // Shows the list's current file, or the logo when it has none.
    void showCurrentFile();
    void enableBackForward();
    void refreshKeepingCurrent();
    void refreshAndShowCurrent();
    QStringList selectedFileNames() const;
    QString currentFileName() const;
    // Selects the current folder in the tree and scrolls to it, opening the folders on the
    // way down as the tree reads them.
    void showFolderInTree();
    // Shows the folder in a tree that waits for the window's first paint, unless it has.
    void showWaitingTree();
    // The toolbar commands' error report, by number and description.
    static constexpr int kErrorPathNotFound = 76;
    void reportCommandError(int number, const QString& description);
    // Lists the mounted volumes again, keeping the current folder's.
    void refreshVolumeList();
    void connectPanel();
    void stepTo(int row);
    bool handleFileseekEvent(QWidget* widget, QEvent* event);
    bool isToolbarOrFileButton(const SoftButton* button) const;
    bool handlePanelEvent(QWidget* widget, QEvent* event);
    void highlightHeader(QLabel* header, bool active);
    void splitterPressed(int x);
    void splitterMoved(int x);
    void splitterReleased();
    void connectImageCommands();
    void connectExternalCommands();
    void setBackColour(const QColor& colour, QAction* checked);
    void imageMousePressed(QMouseEvent* event);
    void imageMouseMoved(QMouseEvent* event);
    void viewMouseReleased(QMouseEvent* event);
    void scrollMoved(Qt::Orientation axis, int value);
    void placeImage(const QRectF& rect);
    void orderTabsAsLaidOut(bool panelAtLeft);
    // The shown image's size at Actual Size, in the view's units: one image pixel per device
    // pixel, whatever the screen's scale.
    QSize imageSizeInView() const;
    void showAnimated(bool show);
    // An animated picture the helper decoded whole (WebP): its frames, played by a timer.
    void playFrames(std::shared_ptr<const Picture::Animation> frames);
    void showNextFrame();
    void stopAnimation();
    void warnGif87a();
    // The information panels made on first use, and the background colour applied when due.
    void PreparePanels();
    // The loaded picture at 1:1, then laid out in the display mode.
    void LayOutPicture(const Picture& picture);
    // A file that is no picture: the logo, then the message that names it.
    void ShowInvalidPicture(const QString& key, QString path);
    void mnuProp_Click();
    SaveFailure saveImageTo(const QString& path, const QString& extension, int quality);
    // For the command-line image: the file becomes the selection and is loaded.
    void SelectAndLoad(int row);
    void setCursorMode(int mode);
    bool dialogsAskExit();

    // Neighbours of the shown file decoded ahead while the user looks at it.
    void PrefetchNeighbours();
    std::shared_ptr<PrefetchCache> m_prefetch;
    // The loads of pictures in progress: only the newest is shown.
    LoadTickets m_loads;
    std::unique_ptr<clsIface> m_interface;
    std::unique_ptr<InstanceServer> m_instanceServer;
    class TerminationSignals* m_terminationSignals = nullptr;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<clsFileManager> m_fileManager;
    // The data-file menus; each belongs to its menu.
    clsVarMenus* m_editorMenus = nullptr;
    clsVarMenus* m_myWebMenus = nullptr;
    clsVarMenus* m_imgWebMenus = nullptr;
    clsVarMenus* m_trayWebMenus = nullptr;
    std::unique_ptr<clsShIntegration> m_shellIntegration;
    // Shared only so that its type need not be known where the window is destroyed.
    std::shared_ptr<clsScreen> m_screenEngine;
    QPointer<frmCap> m_capture;
    std::unique_ptr<clsHelp> m_help;
    std::unique_ptr<Tips> m_tips;

    int ScreenWidthPx = 0;
    int ScreenHeightPx = 0;
    int m_resolutionClass = 0;
    bool m_supportMb = false;
    int DisplayMode = kBestFit;
    int m_dragStep = 20;
    bool m_trayOnly = false;
    int m_minimiseMode = 0;
    bool m_follow = false;
    int m_cursorMode = kCursorNormal;
    bool LogoShown = false;
    bool TileMode = false;
    bool m_pcxSupported = true;
    bool m_pcxChecked = false;
    bool m_fileseekExplained = false;
    QAction* m_favDirSeparator = nullptr;
    FavouriteStore* m_favourites = nullptr;
    QPointer<class frmFileseek> m_fileseekWindow;
    // The splitter drag.
    bool m_splitterDragging = false;
    bool m_splitterHeld = false;
    int m_splitterLimit = 0;
    QRectF m_imageRect;
    QString m_animatedFile;
    QPointF m_selStart;
    bool m_gifAnimating = false;
    class QMovie* m_movie = nullptr;
    class QTimer* m_frameTimer = nullptr;
    std::shared_ptr<const Picture::Animation> m_frames;
    qsizetype m_frameIndex = 0;

public:
    // Asks the loader to re-apply the background colour.
    bool ColourPending = false;

private:
    bool m_secondLayoutPass = false;
    bool m_loaded = false;
    class HandOverQueue* m_handOvers = nullptr;
    QPointer<frmFullscn> m_fullScreen;
    bool m_unloaded = false;
};

}  // namespace gv
