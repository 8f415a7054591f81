#pragma once
// A decoded picture as the program passes it around: its kind, its size in pixels and in
// HIMETRIC, and its content (a raster for bitmaps and icons, a vector metafile otherwise).
// Copies share the content, which is never changed after creation, so a Picture is cheap to
// pass by value and safe to hand from a background task to the window.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSize>
#include <atomic>
#include <functional>
#include <memory>

#include "images/JpegPlanes.h"
#include "images/MemoryBudget.h"

namespace gv {

class Metafile;

enum class PictureKind { Bitmap = 1, Metafile = 2, Icon = 3, EnhancedMetafile = 4 };

inline constexpr double kHimetricPerInch = 2540.0;
inline constexpr double kDefaultDpi = 96.0;

// HIMETRIC to whole pixels at the given resolution, rounded to the nearest pixel.
int himetricToPixels(double himetric, double dpi);
double pixelsToHimetric(int pixels, double dpi);

class Picture final {
public:
    // Produces the 1:1 raster of a picture that holds a reduced preview; an empty image
    // when the source can no longer be decoded.
    using FullRasterSource = std::function<QImage()>;
    // What the worker of a picture made by fromTopLeft decodes: the whole raster, or the planes
    // of a large colour JPEG, which take half the memory and make any part on demand; neither
    // when the rest cannot be decoded.
    struct Whole {
        QImage raster;
        std::unique_ptr<JpegPlanes> planes;
    };
    // `dropped` becomes true once nothing holds the picture any more: the source may then stop
    // early, as what it returns is thrown away.
    using WholeSource = std::function<Whole(const std::atomic<bool>& dropped)>;

    Picture() = default;

    static Picture fromRaster(QImage raster, PictureKind kind = PictureKind::Bitmap,
                              QByteArray originalBytes = {}, double dpi = kDefaultDpi);
    // A picture of fullSize pixels that holds only a reduced preview; the full raster is
    // produced by source on first need.
    static Picture fromPreview(QImage preview, QSize fullSize, FullRasterSource source,
                               double dpi = kDefaultDpi);
    // A picture of fullSize pixels of which only the top-left part is decoded so far; source
    // decodes the whole raster on a worker thread, started by decodeRestInBackground() (once
    // the part has been shown) or by the first use that needs it. Every use of the raster but
    // topLeftPart() waits for it, so nothing ever works on a half-decoded image. When the rest
    // cannot be decoded, the picture holds nothing at all (restFailed()). Rests are decoded one
    // at a time; one whose picture is dropped before or while it is decoded is given up.
    static Picture fromTopLeft(QImage topLeft, QSize fullSize, WholeSource source,
                               double dpi = kDefaultDpi);
    // A WMF or EMF picture; its kind follows the metafile's kind.
    static Picture fromMetafile(const Metafile& metafile, double dpi = kDefaultDpi);

    // The empty picture (no image at all).
    bool isNull() const { return !m_data; }
    PictureKind kind() const;
    bool isMetafile() const;
    QSize sizePixels() const;
    QSize sizeHimetric() const;
    double dpi() const;

    // Whether only a reduced preview is held so far.
    bool holdsPreview() const;
    // Starts decoding the rest of a picture made by fromTopLeft, unless it has started.
    void decodeRestInBackground() const;
    // Whether the whole raster of a picture made by fromTopLeft is still to come.
    bool decodingRest() const;
    // Whether the rest of a picture made by fromTopLeft turned out not to be decodable.
    bool restFailed() const;
    // Waits for the rest of a picture made by fromTopLeft (starting it when it has not
    // started); false when it could not be decoded. True at once for any other picture.
    bool awaitWhole() const;
    // The part decoded first, at 1:1 from the picture's top-left corner; the whole raster once
    // it is there; empty for metafiles.
    QImage topLeftPart() const;
    // Calls done (on the worker thread, or at once) when the whole raster has been decoded.
    void whenDecoded(std::function<void()> done) const;
    // Whether the picture is held as JPEG planes (until the first use of the whole raster).
    bool heldAsPlanes() const;
    // The pixels of `rect` at 1:1 (clipped to the picture), made from the planes when it is held
    // as such, so that a view at 1:1 never needs the whole raster; waits for a rest being
    // decoded. Empty for metafiles.
    QImage region(const QRect& rect) const;

    // The raster as held: the preview, or the full raster; empty for metafiles. A picture held
    // as JPEG planes is converted to its raster on this first call and keeps the raster.
    QImage raster() const;
    // The 1:1 raster; decodes it on first call when only a preview is held (callable from any
    // thread, so it can be prepared ahead by a background task). Metafiles are rendered at
    // their pixel size on a transparent background.
    QImage fullRaster() const;

    // Keeps the decode's reservation of the memory budget for as long as the picture lives,
    // cut to what the picture holds once its decode has ended (its rest too).
    void holdMemory(MemoryBudget::Reservation reservation) const;
    // Bytes of the budget the picture holds.
    qint64 memoryHeld() const;
    // Bytes of the pixels the picture holds now (its raster, preview, planes, own bytes).
    qint64 bytesHeld() const;

    // The colour profile the file embedded, when its pixels were converted from it into the
    // display's colours (the raster's colour space): a save converts them back and writes it.
    void keepSourceProfile(QByteArray icc) const;
    QByteArray sourceProfile() const;

    // The frames of an animated picture (the first is the raster) and how long each is shown;
    // a still picture has none.
    struct Animation {
        QList<QImage> frames;
        QList<int> delaysMs;
    };
    void keepAnimation(Animation animation) const;
    std::shared_ptr<const Animation> animation() const;

    // nullptr unless the picture is a metafile.
    const Metafile* metafile() const;
    // The file's own bytes for icons and metafiles, so they can be saved back unchanged.
    QByteArray originalBytes() const;

    // An image of the given size for display: rasters scaled smoothly from the sharpest
    // source that is held, metafiles painted as vectors at that size.
    QImage render(QSize size, QColor background = Qt::transparent) const;

private:
    struct Data;
    std::shared_ptr<Data> m_data;
};

}  // namespace gv
