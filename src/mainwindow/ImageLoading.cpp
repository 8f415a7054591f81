// Loading and showing an image: the file case and the picture case, the logo state, the
// information panels and title, the menu states, Open, Close and the command line.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMovie>
#include <QScrollBar>
#include <atomic>
#include <memory>

#include "images/DecodeWhileAnswering.h"
#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "images/PrefetchCache.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Trace.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"
#include "widgets/ViewMath.h"

namespace gv {
namespace {

constexpr const char* kUnsavedQuestion = "The image showing has not been saved, save it now?";
constexpr const char* kTooLarge = "Sorry, the image you are trying to view is too large!";

QString invalidFormatMessage(const QString& key, const QString& path) {
    if (key == QStringLiteral("rle")) {
        return QStringLiteral(
            "Cannot load Compuserve RLE image formats, CVL does not have the rights for this "
            "operation. Glimvane is only compatible with Windows RLE formats.");
    }
    return QStringLiteral("The file ") + path +
           QStringLiteral(
               " is an invalid or unknown image format. The file extension indicates "
               "it should be supported, it may have an incorrect extension");
}

}  // namespace

QString fileSizeText(qint64 n) {
    if (n < 1024) {
        return QString::number(n) + QStringLiteral(" Bytes");
    }
    // Whole kilobytes, never rounded up.
    return QString::number(n / 1024) + QStringLiteral("Kb");
}

void frmGlimvane::connectImageCommands() {
    connect(File1, &FileListBox::currentRowChanged, this, [this](int row) {
        if (!appState().SuppressFileClick && row >= 0) {
            File1_Click();
        }
    });
    connect(mnuOpen, &QAction::triggered, this, &frmGlimvane::mnuOpen_Click);
    connect(mnuClose, &QAction::triggered, this, &frmGlimvane::mnuClose_Click);
    connect(mnuSave, &QAction::triggered, this, &frmGlimvane::mnuSave_Click);
    connect(mnuProp, &QAction::triggered, this, &frmGlimvane::mnuProp_Click);
    connect(mnuImages, &QAction::triggered, this, &frmGlimvane::mnuImages_Click);
    // A large JPEG whose rest turns out to be damaged fails as it would have failed at once.
    connect(Image1, &ImageBox::restFailed, this,
            [this] { ShowInvalidPicture(Text1->text(), appState().CurrentImagePath); });
}

void frmGlimvane::ShowInvalidPicture(const QString& key, QString path) {
    // By value: the logo empties the current path, which the message still names.
    ShowLogo();
    dialogs().message(invalidFormatMessage(key, path), MsgButtons::Ok, MsgIcon::None,
                      QStringLiteral("Glimvane"), this);
}

bool frmGlimvane::AwaitWholePicture() {
    if (Image1->picture().awaitWhole()) {
        return true;
    }
    ShowInvalidPicture(Text1->text(), appState().CurrentImagePath);
    return false;
}

int frmGlimvane::AskSaveImage() {
    return static_cast<int>(dialogs().message(QString::fromLatin1(kUnsavedQuestion),
                                              MsgButtons::YesNoCancel, MsgIcon::Exclamation,
                                              QStringLiteral("Save Image?"), this));
}

bool frmGlimvane::UnsavedImageMayGo() {
    if (appState().ImageIsSaved) {
        return true;
    }
    // Yes saves the picture (and the browser moves to the saved file); only No lets go of it.
    switch (static_cast<MsgAnswer>(AskSaveImage())) {
        case MsgAnswer::Yes:
            mnuSave_Click();
            return false;
        case MsgAnswer::No:
            return true;
        default:
            return false;
    }
}

void frmGlimvane::File1_Click() {
    AppState& state = appState();
    if (!state.ImageIsSaved) {
        const QString chosen =
            File1->currentRow() >= 0 ? joinPath(currentFolder(), File1->currentText()) : QString();
        const auto answer = static_cast<MsgAnswer>(AskSaveImage());
        bool load = answer == MsgAnswer::No;
        if (answer == MsgAnswer::Yes) {
            mnuSave_Click();
            load = state.ImageIsSaved;
            // Saving moved the list to the new file; the file the user chose comes next.
            if (load && !chosen.isEmpty()) {
                const int row = OpenFileInList(chosen);
                if (row >= 0) {
                    state.SuppressFileClick = true;
                    File1->clearSelection();
                    File1->setSelected(row, true);
                    File1->setCurrentRow(row);
                    state.SuppressFileClick = false;
                }
            }
        }
        if (!load) {
            // The previous image stays; the list keeps no selection.
            state.SuppressFileClick = true;
            File1->setCurrentRow(-1);
            File1->clearSelection();
            state.SuppressFileClick = false;
            return;
        }
    }
    LoadAndShowImage();
    // The list the file was chosen from keeps the keyboard: the arrow keys go on from there.
    if (File1->isEnabled() && File1->isVisible()) {
        File1->setFocus();
    }
}

void frmGlimvane::LoadAndShowImage() {
    AppState& state = appState();
    mnuClose->setEnabled(true);
    mnuStatus->setEnabled(true);
    mnuBackCol->menuAction()->setEnabled(true);
    mnuTips->setEnabled(true);
    mnuTips->setChecked(false);

    const int row = File1->currentRow();
    if (row < 0) {
        return;
    }
    const QString fileName = File1->text(row);
    const QString path = joinPath(currentFolder(), fileName);
    state.CurrentImagePath = path;
    const QString key = typeKey(fileName);
    if (!isRegularFile(path)) {
        dialogs().message(QStringLiteral("The selected file cannot be found!"), MsgButtons::Ok,
                          MsgIcon::None, QStringLiteral("Glimvane"), this);
        RefreshFileList();
        ShowLogo();
        ImageStatic();
        return;
    }
    // Busy while loading, on a window the user sees: the command line's image is loaded before
    // the window is first shown, and the desktop's cursor theme need not be read for it.
    const bool showBusy = isVisible();
    if (showBusy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    DecodeRequest request;
    if (DisplayMode == kBestFit && !TileMode) {
        request.fitInto = Picture1->size();
    } else if (DisplayMode == kActualSize && !TileMode) {
        // At 1:1 the view shows the image's top-left part first (larger images start there).
        // The view is laid out only once the window is shown; it is never larger than the
        // window.
        request.firstRegion = Picture1->size().expandedTo(size());
    }
    // The window answers while the file decodes (or the cache waits for its decode ahead, and
    // a GIF's version is read); a file chosen meanwhile supersedes this one, which is then
    // never shown.
    const QPointer<frmGlimvane> alive(this);
    const quint64 ticket = m_loads.take();
    const bool isGif = key == QStringLiteral("gif");
    auto gif87a = std::make_shared<std::atomic<bool>>(false);
    std::optional<DecodeResult> decoded = runWhileAnswering(
        [path, request, isGif, gif87a, cache = std::weak_ptr<PrefetchCache>(m_prefetch)] {
            if (isGif) {
                *gif87a = gifIs87a(path);
            }
            const std::shared_ptr<PrefetchCache> held = cache.lock();
            if (held && request.fitInto.isValid()) {
                if (std::optional<Picture> ahead = held->take(path, request.fitInto)) {
                    return DecodeResult(*ahead);
                }
            }
            return DecodeImageFile(path, request);
        },
        m_loads, ticket);
    if (!alive) {
        return;  // the window went while it waited
    }
    if (decoded && !decoded->ok() && decoded->error().number == kErrOutOfMemory &&
        (!Image1->picture().isNull() || m_prefetch->bytesInUse() > 0)) {
        // The picture shown and those decoded ahead hold their share of the memory budget;
        // without them there may be room for this one. The one shown goes either way: a
        // refused picture leaves the logo.
        Image1->clear();
        Picture1->setTile(QImage());
        m_prefetch->clear();
        decoded = decodeWhileAnswering(path, request, m_loads, ticket);
        if (!alive) {
            return;
        }
    }
    if (!decoded) {
        if (showBusy) {
            QApplication::restoreOverrideCursor();
        }
        return;
    }
    const DecodeResult result = std::move(*decoded);
    Picture picture;
    if (result.ok()) {
        picture = result.picture();
    } else {
        const DecodeError& error = result.error();
        if (error.number == kErrInvalidPicture) {
            if (showBusy) {
                QApplication::restoreOverrideCursor();
            }
            ShowInvalidPicture(key, state.CurrentImagePath);
            return;
        }
        if (error.number == kErrOutOfMemory) {
            ShowLogo();
            if (showBusy) {
                QApplication::restoreOverrideCursor();
            }
            dialogs().message(QString::fromLatin1(kTooLarge), MsgButtons::Ok, MsgIcon::Exclamation,
                              QStringLiteral("Glimvane Error"), this);
            return;
        }
        if (error.number != kErrNoDecoder) {
            if (showBusy) {
                QApplication::restoreOverrideCursor();
            }
            dialogs().message(error.description, MsgButtons::Ok, MsgIcon::Critical,
                              QString::number(error.number), this);
        }
    }
    if (isGif) {
        state.GifIs87a = gif87a->load() ? 1 : 0;
        if (state.GifIs87a == 1) {
            // Not busy while the user reads the warning.
            if (showBusy) {
                QApplication::restoreOverrideCursor();
            }
            warnGif87a();
            if (showBusy) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
            }
        }
    }
    // The menu state depends on the kind of the new picture.
    Image1->hide();
    Image1->setPicture(picture);
    ImageSaved();

    PreparePanels();
    LayOutPicture(picture);
    if (showBusy) {
        QApplication::restoreOverrideCursor();
    }

    const std::optional<struct stat> info = statPath(path);
    const qint64 size = info ? qint64(info->st_size) : 0;
    const QDateTime modified =
        info ? QDateTime::fromMSecsSinceEpoch(qint64(info->st_mtim.tv_sec) * 1000 +
                                              info->st_mtim.tv_nsec / 1000000)
             : QDateTime();
    SB1->setPanelText(QStringLiteral("date"), QLocale().toString(modified, QLocale::ShortFormat));
    SB1->setPanelWidth(QStringLiteral("date"), 150);
    SB1->setPanelText(QStringLiteral("fname"), fileNameForDisplay(fileName));
    SB1->setPanelWidth(QStringLiteral("fname"), 200);
    SB1->setPanelText(QStringLiteral("size"), fileSizeText(size));
    if (size >= 1024) {
        SB1->setPanelWidth(QStringLiteral("size"), 70);
    }
    setWindowTitle(QStringLiteral("Glimvane - ") + fileNameForDisplay(fileName));
    Text1->setText(key);
    const QString ftype = ftypeText(key, state.GifIs87a == 1);
    SB1->setPanelText(QStringLiteral("ftype"), ftype.isEmpty() ? QStringLiteral("Unknown") : ftype);
    SB1->setPanelWidth(QStringLiteral("ftype"),
                       ftype == QStringLiteral("Portable Network Graphics") ? 200 : 100);
    state.ImageIsSaved = true;
    SB1->setPanelText(QStringLiteral("dimen"),
                      QStringLiteral("%1x%2").arg(state.ImageWidthPx).arg(state.ImageHeightPx));
    SB1->setPanelWidth(QStringLiteral("dimen"), 120);
    SetModePanel(DisplayMode, TileMode);
    trace(QStringLiteral("shown: ") + path);
    PrefetchNeighbours();
}

void frmGlimvane::PrefetchNeighbours() {
    const int n = File1->count();
    const int i = File1->currentRow();
    if (DisplayMode != kBestFit || TileMode || n < 2 || i < 0) {
        return;
    }
    // Forward is the usual direction, so the next file comes first.
    QStringList paths{joinPath(currentFolder(), File1->text((i + 1) % n))};
    const int previous = (i + n - 1) % n;
    if (previous != (i + 1) % n) {
        paths << joinPath(currentFolder(), File1->text(previous));
    }
    m_prefetch->prefetch(paths, Picture1->size());
}

void frmGlimvane::LoadAndShowImage(const Picture& picture) {
    AppState& state = appState();
    mnuTips->setEnabled(true);
    mnuTips->setChecked(false);
    mnuClose->setEnabled(true);
    mnuStatus->setEnabled(true);
    mnuBackCol->menuAction()->setEnabled(true);
    state.CurrentImagePath.clear();
    state.SuppressFileClick = true;
    RefreshFileList();
    File1->setCurrentRow(-1);
    File1->clearSelection();
    state.SuppressFileClick = false;
    Image1->hide();
    PreparePanels();
    // Set before the menu state so that Save is offered for the new picture.
    Image1->setPicture(picture);
    ImageStatic();
    LayOutPicture(picture);
    SB1->setPanelText(QStringLiteral("date"),
                      QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    SB1->setPanelWidth(QStringLiteral("date"), 150);
    SB1->setPanelText(QStringLiteral("fname"), QStringLiteral("Unsaved"));
    SB1->setPanelWidth(QStringLiteral("fname"), 200);
    SB1->setPanelText(QStringLiteral("size"), QStringLiteral("0 Bytes"));
    setWindowTitle(QStringLiteral("Glimvane - Unsaved Image"));
    Text1->clear();
    SB1->setPanelWidth(QStringLiteral("ftype"), 100);
    SB1->setPanelText(QStringLiteral("ftype"), QStringLiteral("Unknown"));
    state.ImageIsSaved = false;
    SB1->setPanelText(QStringLiteral("dimen"),
                      QStringLiteral("%1x%2").arg(state.ImageWidthPx).arg(state.ImageHeightPx));
    SB1->setPanelWidth(QStringLiteral("dimen"), 120);
    SetModePanel(DisplayMode, TileMode);
}

void frmGlimvane::PreparePanels() {
    AppState& state = appState();
    if (!state.PanelsCreated) {
        for (const char* panel : {"date", "size", "dimen", "fname", "mode"}) {
            SB1->addPanel(QString::fromLatin1(panel));
        }
        state.PanelsCreated = true;
        ColourPending = true;
    }
    if (ColourPending) {
        ApplyBackColour();
        ColourPending = false;
    }
}

void frmGlimvane::LayOutPicture(const Picture& picture) {
    if (picture.isNull()) {
        return;
    }
    AppState& state = appState();
    LogoShown = false;
    state.ImageWidthPx = picture.sizePixels().width();
    state.ImageHeightPx = picture.sizePixels().height();
    // At 1:1, centred on each side where it is smaller than the view.
    const QSize size = imageSizeInView();
    placeImage(QRectF(actualSizeOrigin(size, Picture1->size()), QSizeF(size)));
    DisplayImage();
    Shape1->hide();
    lblSelSize->hide();
    mnuFullscrn->setEnabled(true);
    Toolbar[5]->setEnabled(true);
    Toolbar[6]->setEnabled(true);
    TilePic->setEnabled(true);
    if (!aniImg->isVisible() && !TileMode) {
        Image1->show();
    }
}

void frmGlimvane::warnGif87a() {
    if (GetSetting(keys::kGif87Warn).compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
        return;
    }
    const MsgAnswer answer = dialogs().message(
        QStringLiteral(
            "Glimvane can sometimes give poor performance loading the older 87a GIF file type, "
            "for this reason if you notice poor loading performance for some GIF files we "
            "recommend turning OFF 87a animated GIF support in the 'Advanced' tab of Options. "
            "Please note that this does not effect 89a GIF types. Would you like to see "
            "further information on this now?"),
        MsgButtons::YesNo, MsgIcon::Information, QStringLiteral("GIF 87a Support"), this);
    SaveSetting(keys::kGif87Warn, QStringLiteral("True"));
    if (answer == MsgAnswer::Yes) {
        ShowHelpTopic(10001);
    }
}

void frmGlimvane::ShowLogo() {
    AppState& state = appState();
    Picture1->setTile(QImage());
    Picture1->setBackground(Qt::black);
    Image1->hide();
    const QPixmap logo = logoBitmap();
    Image1->setLogo(logo);
    placeImage(QRectF(QPointF(20, 40), logo.deviceIndependentSize()));
    ImageStatic();
    setWindowTitle(QStringLiteral("Glimvane - Vividra"));
    state.ImageIsSaved = true;
    mnuSave->setEnabled(false);
    state.CurrentImagePath.clear();
    Image1->show();
    HScroll1->setEnabled(false);
    VScroll1->setEnabled(false);
    for (const char* key : {"size", "fname", "dimen", "date", "mode"}) {
        SB1->clearPanel(QString::fromLatin1(key));
    }
    SB1->setPanelText(QStringLiteral("ftype"), QStringLiteral("Glimvane Website ") +
                                                   QString::fromLatin1(kHomePage) +
                                                   QStringLiteral(" for news and updates"));
    // As wide as the text: the last image's type left it far narrower.
    SB1->setPanelWidth(QStringLiteral("ftype"), 0);
    Shape1->hide();
    lblSelSize->hide();
    setCursorMode(kCursorNormal);
    mnuWallpaper->menuAction()->setEnabled(false);
    mnuZoom->menuAction()->setEnabled(false);
    mnuFullscrn->setEnabled(false);
    mnuZoommode->setEnabled(false);
    mnuCrop->setEnabled(false);
    stopAnimation();
    aniImg->hide();
    m_animatedFile.clear();
    TilePic->setEnabled(false);
    Toolbar[5]->setEnabled(false);
    Toolbar[6]->setEnabled(false);
    LogoShown = true;
}

void frmGlimvane::ImageSaved() {
    for (QAction* a : {mnuRename, mnuMove, mnuCopyFile, mnuDel}) {
        a->setEnabled(true);
    }
    for (SoftButton* b : Fbts) {
        b->setEnabled(true);
    }
    mnuEditor->menuAction()->setEnabled(!mnuEditors.isEmpty() &&
                                        !mnuEditors[0]->data().toString().trimmed().isEmpty());
    mnuSave->setEnabled(true);
    mnuWallpaper->menuAction()->setEnabled(!Image1->picture().isNull() &&
                                           Image1->picture().kind() == PictureKind::Bitmap);
    mnuZoom->menuAction()->setEnabled(true);
    mnuZoommode->setEnabled(true);
    mnuCrop->setEnabled(true);
}

void frmGlimvane::ImageStatic() {
    for (QAction* a : {mnuRename, mnuMove, mnuCopyFile, mnuDel}) {
        a->setEnabled(false);
    }
    for (SoftButton* b : Fbts) {
        b->setEnabled(false);
    }
    mnuEditor->menuAction()->setEnabled(false);
    mnuSave->setEnabled(true);
    mnuWallpaper->menuAction()->setEnabled(!Image1->picture().isNull() &&
                                           Image1->picture().kind() == PictureKind::Bitmap);
    mnuZoom->menuAction()->setEnabled(true);
    mnuZoommode->setEnabled(true);
    mnuCrop->setEnabled(true);
    AppState& state = appState();
    const bool suppress = state.SuppressFileClick;
    state.SuppressFileClick = true;
    RefreshFileList();
    state.SuppressFileClick = suppress;
}

void frmGlimvane::mnuOpen_Click() {
    const auto choice =
        dialogs().openFile(QStringLiteral("Glimvane - Open Image..."), currentFolder(),
                           QStringLiteral("Selected Types|") + filePattern(), 1, this);
    if (!choice || choice->fileName.isEmpty()) {
        return;
    }
    AppState& state = appState();
    state.SuppressFileClick = true;
    setCurrentFolder(QFileInfo(choice->path).absolutePath());
    File1->setCurrentRow(-1);
    File1->clearSelection();
    state.SuppressFileClick = false;
    for (int i = 0; i < File1->count(); ++i) {
        if (File1->text(i) == choice->fileName) {
            File1->setSelected(i, true);
            File1->setCurrentRow(i);
            return;
        }
    }
}

void frmGlimvane::mnuClose_Click() {
    if (!UnsavedImageMayGo()) {
        return;
    }
    AppState& state = appState();
    state.SuppressFileClick = true;
    File1->setCurrentRow(-1);
    File1->clearSelection();
    state.SuppressFileClick = false;
    ShowLogo();
    mnuClose->setEnabled(false);
}

void frmGlimvane::SelectAndLoad(int row) {
    DisplayMode = kActualSize;
    Toolbar[6]->setIcon(iconResource(102));
    File1->setSelected(row, true);
    if (File1->currentRow() == row) {
        File1_Click();
    } else {
        File1->setCurrentRow(row);
    }
}

}  // namespace gv
