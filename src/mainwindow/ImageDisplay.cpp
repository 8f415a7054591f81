// The image view: Actual Size, Best Fit and Tile, scrolling, dragging, the selection
// rectangle, the background colour and the view's mouse commands.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QMovie>
#include <QScrollBar>
#include <QTimer>

#include "images/ImageTypeCatalogue.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "settings/SettingKeys.h"
#include "settings/clsIface.h"
#include "startup/AppState.h"
#include "widgets/ImageBox.h"
#include "widgets/ViewMath.h"

namespace gv {
namespace {

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kGrey = 0xC0C0C0;

// Colours are stored as decimal numbers of the form 0xBBGGRR.
QColor colourFromNumber(qint64 n) {
    return QColor(static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF),
                  static_cast<int>((n >> 16) & 0xFF));
}

qint64 numberFromColour(const QColor& c) {
    return static_cast<qint64>(c.red()) | (static_cast<qint64>(c.green()) << 8) |
           (static_cast<qint64>(c.blue()) << 16);
}

}  // namespace

void frmGlimvane::connectViewCommands() {
    connect(Toolbar[6], &SoftButton::clicked, this, &frmGlimvane::ToggleDisplayMode);
    connect(TilePic, &SoftButton::clicked, this, &frmGlimvane::TilePic_Click);
    // Each bar moves the image along its own axis only.
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this](int value) { scrollMoved(Qt::Horizontal, value); });
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int value) { scrollMoved(Qt::Vertical, value); });
    connect(Image1, &ImageBox::mousePressed, this, &frmGlimvane::imageMousePressed);
    connect(Image1, &ImageBox::mouseMoved, this, &frmGlimvane::imageMouseMoved);
    connect(Image1, &ImageBox::mouseReleased, this, &frmGlimvane::viewMouseReleased);
    connect(Picture1, &ViewArea::mouseReleased, this, &frmGlimvane::viewMouseReleased);
    auto doubleClick = [this] {
        if (mnuFullscrn->isEnabled()) {
            ShowFullScreen();
        }
    };
    connect(Image1, &ImageBox::mouseDoubleClicked, this, doubleClick);
    // The view hears double-clicks on the animation (which leaves the mouse to it) and on
    // its empty background and tiles; only the animation counts as the image.
    connect(Picture1, &ViewArea::mouseDoubleClicked, this, [this, doubleClick](QMouseEvent* e) {
        if (!aniImg->isHidden() && aniImg->geometry().contains(e->position().toPoint())) {
            doubleClick();
        }
    });

    // Cursor modes: each unchecks all, hides the selection and checks itself.
    const std::pair<QAction*, int> modes[] = {
        {mnuNorm, kCursorNormal}, {mnuDrag, kCursorDrag}, {mnuCrop, kCursorCrop}};
    for (const auto& [action, mode] : modes) {
        connect(action, &QAction::triggered, this, [this, m = mode] {
            Shape1->hide();
            lblSelSize->hide();
            setCursorMode(m);
        });
    }
    mnuZoommode->setVisible(false);
    mnuZoom->menuAction()->setVisible(false);

    for (QAction* a : {mnuBGrey, mnuBWhite, mnuBBlack, mnuChooseCol}) {
        a->setCheckable(true);
    }
    connect(mnuBBlack, &QAction::triggered, this, [this] {
        setBackColour(QColor::fromRgb(kBlack), mnuBBlack);
        SaveSetting(keys::kColour, QStringLiteral("Black"));
    });
    connect(mnuBWhite, &QAction::triggered, this, [this] {
        setBackColour(QColor::fromRgb(kWhite), mnuBWhite);
        SaveSetting(keys::kColour, QStringLiteral("White"));
    });
    connect(mnuBGrey, &QAction::triggered, this, [this] {
        setBackColour(QColor::fromRgb(kGrey), mnuBGrey);
        SaveSetting(keys::kColour, QStringLiteral("Grey"));
    });
    connect(mnuChooseCol, &QAction::triggered, this, [this] {
        const auto chosen = dialogs().colour(Picture1->background(), this);
        if (!chosen) {
            mnuChooseCol->setChecked(!mnuChooseCol->isChecked());
            return;
        }
        setBackColour(*chosen, mnuChooseCol);
        SaveSetting(keys::kColour, QString::number(numberFromColour(*chosen)));
    });
}

void frmGlimvane::setBackColour(const QColor& colour, QAction* checked) {
    for (QAction* a : {mnuBGrey, mnuBWhite, mnuBBlack, mnuChooseCol}) {
        a->setChecked(a == checked);
    }
    Picture1->setBackground(colour);
    if (m_movie || m_frames) {
        QPalette pal = aniImg->palette();
        pal.setColor(QPalette::Window, colour);
        aniImg->setPalette(pal);
    }
}

void frmGlimvane::ApplyBackColour() {
    const QString stored = GetSetting(keys::kColour, QStringLiteral("Grey"));
    if (stored == QStringLiteral("Black")) {
        setBackColour(QColor::fromRgb(kBlack), mnuBBlack);
    } else if (stored == QStringLiteral("White")) {
        setBackColour(QColor::fromRgb(kWhite), mnuBWhite);
    } else if (stored == QStringLiteral("Grey")) {
        setBackColour(QColor::fromRgb(kGrey), mnuBGrey);
    } else {
        bool ok = false;
        const qint64 n = stored.trimmed().toLongLong(&ok);
        setBackColour(ok ? colourFromNumber(n) : QColor::fromRgb(kGrey), mnuChooseCol);
    }
}

void frmGlimvane::placeImage(const QRectF& rect) {
    m_imageRect = rect;
    Image1->setGeometry(rect.toRect());
    // An animation plays where the picture would be.
    if (!aniImg->isHidden()) {
        aniImg->setGeometry(Image1->geometry());
    }
}

QSize frmGlimvane::imageSizeInView() const {
    const AppState& state = appState();
    return actualSizeInView(QSize(state.ImageWidthPx, state.ImageHeightPx),
                            Picture1->devicePixelRatioF());
}

void frmGlimvane::DisplayImage() {
    QApplication::restoreOverrideCursor();
    if (!TileMode) {
        if (DisplayMode == kActualSize) {
            ActualSizeImage();
        } else if (DisplayMode == kBestFit) {
            BestFitImage();
        }
    } else {
        bool untile = false;
        TileImage(untile);
    }
}

void frmGlimvane::ActualSizeImage() {
    const QSize image = imageSizeInView();
    const QSize view = Picture1->size();
    Image1->hide();
    placeImage(QRectF(actualSizeOrigin(image, view), QSizeF(image)));
    VScroll1->setEnabled(view.height() < image.height());
    if (VScroll1->isEnabled()) {
        VScroll1->setMaximum(image.height() - view.height());
        VScroll1->setValue(0);
    }
    HScroll1->setEnabled(view.width() < image.width());
    if (HScroll1->isEnabled()) {
        HScroll1->setMaximum(image.width() - view.width());
        HScroll1->setValue(0);
    }
    Shape1->hide();
    lblSelSize->hide();
    showAnimated(true);
}

void frmGlimvane::BestFitImage() {
    const QSize image = imageSizeInView();
    const FitResult fit = bestFit(image, Picture1->size());
    if (!fit.scaled) {
        Image1->show();
        showAnimated(true);
        return;
    }
    placeImage(QRectF(fit.origin, QSizeF(fit.size)));
    HScroll1->setEnabled(false);
    VScroll1->setEnabled(false);
    showAnimated(true);
}

void frmGlimvane::TileImage(bool& untile) {
    if (untile) {
        Picture1->setTile(QImage());
        if (DisplayMode == kActualSize) {
            ActualSizeImage();
        } else {
            BestFitImage();
        }
        SetModePanel(DisplayMode, false);
        TileMode = false;
        return;
    }
    Picture1->setTile(QImage());
    const QImage tile = Image1->shownImage();
    Image1->hide();
    aniImg->hide();
    stopAnimation();
    Picture1->setTile(tile);
    TileMode = true;
    HScroll1->setEnabled(false);
    VScroll1->setEnabled(false);
}

void frmGlimvane::SetModePanel(int mode, bool tiled) {
    if (!tiled) {
        SB1->setPanelText(QStringLiteral("mode"), mode == kActualSize
                                                      ? QStringLiteral("Mode: Actual Size")
                                                      : QStringLiteral("Mode: Best Fit"));
    } else {
        SB1->setPanelText(QStringLiteral("mode"), QStringLiteral("Mode: Tile"));
    }
    for (QAction* a : {mnuZoom->menuAction(), mnuZoommode, mnuBackCol->menuAction(), mnuCrop}) {
        a->setEnabled(!tiled);
    }
}

void frmGlimvane::ToggleDisplayMode() {
    TilePic->setIcon(iconResource(105));
    if (TileMode) {
        TileMode = false;
        Picture1->setTile(QImage());
    }
    if (DisplayMode == kActualSize) {
        DisplayMode = kBestFit;
        Toolbar[6]->setIcon(iconResource(101));
    } else {
        DisplayMode = kActualSize;
        Toolbar[6]->setIcon(iconResource(102));
    }
    DisplayImage();
    SetModePanel(DisplayMode, false);
}

void frmGlimvane::TilePic_Click() {
    if (!TileMode) {
        TilePic->setIcon(iconResource(DisplayMode == kActualSize ? 102 : 101));
        bool untile = false;
        TileImage(untile);
        SetModePanel(DisplayMode, true);
    } else {
        TilePic->setIcon(iconResource(105));
        bool untile = true;
        TileImage(untile);
    }
}

void frmGlimvane::stopAnimation() {
    if (m_movie) {
        m_movie->stop();
    }
    if (m_frameTimer) {
        m_frameTimer->stop();
    }
    m_frames.reset();
}

void frmGlimvane::showAnimated(bool show) {
    const AppState& state = appState();
    const bool animate = show && typeKey(state.CurrentImagePath) == QStringLiteral("gif") &&
                         (state.GifIs87a == 0 || state.Animate87aGif);
    std::shared_ptr<const Picture::Animation> frames = Image1->picture().animation();
    if (show && !animate && frames && frames->frames.size() > 1) {
        playFrames(std::move(frames));
        return;
    }
    if (!animate) {
        stopAnimation();
        aniImg->hide();
        Image1->show();
        return;
    }
    if (m_frames) {
        m_frameTimer->stop();
        m_frames.reset();
    }
    if (m_animatedFile != state.CurrentImagePath || !m_movie) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        delete m_movie;
        m_movie = new QMovie(this);
        // The movie reads the file it was shown, by its bytes, through a device it owns.
        auto* file = new QFile(m_movie);
        openForReading(*file, state.CurrentImagePath);
        m_movie->setFormat(QByteArray("gif"));
        m_movie->setDevice(file);
        m_movie->setCacheMode(QMovie::CacheNone);
        aniImg->setMovie(m_movie);
        aniImg->setAutoFillBackground(true);
        QPalette pal = aniImg->palette();
        pal.setColor(QPalette::Window, Picture1->background());
        aniImg->setPalette(pal);
        m_animatedFile = state.CurrentImagePath;
        QApplication::restoreOverrideCursor();
    }
    aniImg->setGeometry(Image1->geometry());
    m_movie->setScaledSize(Image1->size());
    if (m_movie->state() != QMovie::Running) {
        m_movie->start();
    }
    Image1->hide();
    aniImg->show();
    aniImg->raise();
}

void frmGlimvane::playFrames(std::shared_ptr<const Picture::Animation> frames) {
    if (m_movie) {
        m_movie->stop();
    }
    if (!m_frameTimer) {
        m_frameTimer = new QTimer(this);
        m_frameTimer->setSingleShot(true);
        connect(m_frameTimer, &QTimer::timeout, this, &frmGlimvane::showNextFrame);
    }
    if (m_frames != frames) {
        // A new picture starts at its first frame, which is the picture shown already.
        m_frames = std::move(frames);
        m_frameIndex = -1;
        aniImg->setMovie(nullptr);
        aniImg->setAutoFillBackground(true);
        QPalette pal = aniImg->palette();
        pal.setColor(QPalette::Window, Picture1->background());
        aniImg->setPalette(pal);
        m_animatedFile = appState().CurrentImagePath;
        showNextFrame();
    }
    aniImg->setGeometry(Image1->geometry());
    Image1->hide();
    aniImg->show();
    aniImg->raise();
}

void frmGlimvane::showNextFrame() {
    if (!m_frames || m_frames->frames.isEmpty()) {
        return;
    }
    m_frameIndex = (m_frameIndex + 1) % m_frames->frames.size();
    // The label scales the frame to the picture's place, as it does a GIF's.
    aniImg->setPixmap(QPixmap::fromImage(m_frames->frames[m_frameIndex]));
    // As browsers play them: a delay of 10 ms or less is a tenth of a second.
    constexpr int kShortestDelayMs = 10;
    constexpr int kDelayOfNoneMs = 100;
    const int delay = m_frames->delaysMs.value(m_frameIndex);
    m_frameTimer->start(delay <= kShortestDelayMs ? kDelayOfNoneMs : delay);
}

void frmGlimvane::scrollMoved(Qt::Orientation axis, int value) {
    QWidget* target = aniImg->isVisible() ? static_cast<QWidget*>(aniImg)
                                          : static_cast<QWidget*>(Image1);
    QPoint pos = target->pos();
    if (axis == Qt::Horizontal) {
        pos.setX(-value);
    } else {
        pos.setY(-value);
    }
    target->move(pos);
    if (target == Image1) {
        m_imageRect.moveTopLeft(pos);
    }
}

void frmGlimvane::imageMousePressed(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    m_selStart = event->position();
    if (m_cursorMode == kCursorCrop) {
        Shape1->hide();
        lblSelSize->hide();
        Shape1->setGeometry(QRect(m_selStart.toPoint(), QSize(0, 0)));
    }
}

void frmGlimvane::imageMouseMoved(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPointF p = event->position();
    if (m_cursorMode == kCursorDrag) {
        if (VScroll1->isEnabled()) {
            VScroll1->setValue(dragScrollValue(VScroll1->value(), VScroll1->minimum(),
                                               VScroll1->maximum(), m_selStart.y(), p.y(),
                                               m_dragStep));
        }
        if (HScroll1->isEnabled()) {
            HScroll1->setValue(dragScrollValue(HScroll1->value(), HScroll1->minimum(),
                                               HScroll1->maximum(), m_selStart.x(), p.x(),
                                               m_dragStep));
        }
        // The start point stays where the button went down: holding the pointer away from it
        // keeps the image moving.
        Image1->update();
    } else if (m_cursorMode == kCursorCrop) {
        const QRect r = selectionRect(m_selStart.toPoint(), p.toPoint(), Image1->size());
        const QRect shown = r.normalized();
        Shape1->setGeometry(shown);
        Shape1->show();
        // The size of what is drawn, whichever way the pointer went from the start, in the
        // pixels a copy of it holds.
        const QSize pixels = devicePixelRect(shown, Image1->devicePixelRatioF()).size();
        lblSelSize->setText(QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height()));
        lblSelSize->adjustSize();
        // On the view, not the image: next to a rectangle that reaches the image's edge the
        // label lies beyond the image and would be cut off there.
        lblSelSize->move(Image1->pos() + shown.bottomRight() + QPoint(1 + 9, 1 + 9));
        lblSelSize->raise();
        lblSelSize->show();
    }
}

void frmGlimvane::viewMouseReleased(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && mnuStatus->isEnabled()) {
        mnuView->popup(event->globalPosition().toPoint());
    }
}

}  // namespace gv
