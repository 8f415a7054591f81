#include "images/Picture.h"

#include <QPainter>
#include <QThreadPool>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "images/JpegPlanes.h"
#include "images/Metafile.h"

namespace gv {

struct Picture::Data {
    PictureKind kind = PictureKind::Bitmap;
    QSize sizePx;
    QSize sizeHimetric;
    double dpi = kDefaultDpi;
    QImage held;  // the full raster, or the preview while full is not produced yet
    bool heldIsPreview = false;
    std::optional<Metafile> metafile;
    QByteArray originalBytes;
    QByteArray sourceProfile;  // guarded by fullMutex
    std::shared_ptr<const Animation> animation;  // guarded by fullMutex

    std::mutex fullMutex;
    FullRasterSource fullSource;
    QImage full;  // produced on first need when held is a preview

    // A picture whose rest is decoded on a worker thread: held is the top-left part until then.
    WholeSource wholeSource;
    bool restPending = false;
    bool restFailed = false;
    // Set when the picture goes, so that its rest decode stops: shared with the worker, which
    // holds the picture itself only weakly.
    std::shared_ptr<std::atomic<bool>> dropped = std::make_shared<std::atomic<bool>>(false);
    // A large colour JPEG's planes, in place of held, until the raster is first needed.
    std::unique_ptr<JpegPlanes> planes;
    // The decode's share of the memory budget; fullMemory for a full raster made later.
    MemoryBudget::Reservation memory;
    MemoryBudget::Reservation fullMemory;
    std::condition_variable restDecoded;
    std::vector<std::function<void()>> whenDecoded;

    Data() = default;
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;
    ~Data() { dropped->store(true); }

    // Called with fullMutex held.
    qint64 bytesHeldLocked() const {
        qint64 frames = 0;
        if (animation) {
            // The first frame is the raster itself.
            for (qsizetype i = 1; i < animation->frames.size(); ++i) {
                frames += animation->frames[i].sizeInBytes();
            }
        }
        return held.sizeInBytes() + full.sizeInBytes() + originalBytes.size() +
               (planes ? planes->bytes() : 0) + frames;
    }
    // Called with fullMutex held: once nothing is decoded any more, only what is held counts.
    void settleMemoryLocked() {
        if (!restPending) {
            memory.shrinkTo(bytesHeldLocked());
        }
    }

    // Called with fullMutex held.
    void waitForRestLocked(std::unique_lock<std::mutex>& lock) {
        restDecoded.wait(lock, [this] { return !restPending; });
    }
};

int himetricToPixels(double himetric, double dpi) {
    return static_cast<int>(std::lround(himetric * dpi / kHimetricPerInch));
}

double pixelsToHimetric(int pixels, double dpi) {
    return pixels * kHimetricPerInch / dpi;
}

namespace {

double usableDpi(double dpi) {
    return dpi > 0 ? dpi : kDefaultDpi;
}

QSize himetricOf(QSize px, double dpi) {
    return QSize(static_cast<int>(std::lround(pixelsToHimetric(px.width(), dpi))),
                 static_cast<int>(std::lround(pixelsToHimetric(px.height(), dpi))));
}

// The rests of pictures are decoded here, one at a time: only the picture shown wants its rest,
// and a second thread would only take a core from the window.
QThreadPool& restWorker() {
    struct OneThread {
        QThreadPool pool;
        OneThread() { pool.setMaxThreadCount(1); }
    };
    static OneThread worker;
    return worker.pool;
}

QImage onBackground(const QImage& image, const QColor& background) {
    if (background.alpha() == 0 || !image.hasAlphaChannel()) {
        return image;
    }
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(background);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

}  // namespace

Picture Picture::fromRaster(QImage raster, PictureKind kind, QByteArray originalBytes, double dpi) {
    if (raster.isNull()) {
        return Picture();
    }
    Picture p;
    p.m_data = std::make_shared<Data>();
    p.m_data->kind = kind;
    p.m_data->dpi = usableDpi(dpi);
    p.m_data->sizePx = raster.size();
    p.m_data->sizeHimetric = himetricOf(raster.size(), p.m_data->dpi);
    p.m_data->held = std::move(raster);
    p.m_data->originalBytes = std::move(originalBytes);
    return p;
}

Picture Picture::fromPreview(QImage preview, QSize fullSize, FullRasterSource source, double dpi) {
    if (preview.isNull() || fullSize.isEmpty()) {
        return Picture();
    }
    if (preview.size() == fullSize || !source) {
        return fromRaster(std::move(preview), PictureKind::Bitmap, {}, dpi);
    }
    Picture p;
    p.m_data = std::make_shared<Data>();
    p.m_data->dpi = usableDpi(dpi);
    p.m_data->sizePx = fullSize;
    p.m_data->sizeHimetric = himetricOf(fullSize, p.m_data->dpi);
    p.m_data->held = std::move(preview);
    p.m_data->heldIsPreview = true;
    p.m_data->fullSource = std::move(source);
    return p;
}

Picture Picture::fromTopLeft(QImage topLeft, QSize fullSize, WholeSource source, double dpi) {
    if (topLeft.isNull() || fullSize.isEmpty()) {
        return Picture();
    }
    if (topLeft.size() == fullSize || !source) {
        return fromRaster(std::move(topLeft), PictureKind::Bitmap, {}, dpi);
    }
    Picture p;
    p.m_data = std::make_shared<Data>();
    p.m_data->dpi = usableDpi(dpi);
    p.m_data->sizePx = fullSize;
    p.m_data->sizeHimetric = himetricOf(fullSize, p.m_data->dpi);
    p.m_data->held = std::move(topLeft);
    p.m_data->restPending = true;
    p.m_data->wholeSource = std::move(source);
    return p;
}

void Picture::decodeRestInBackground() const {
    if (!m_data) {
        return;
    }
    WholeSource source;
    {
        std::lock_guard lock(m_data->fullMutex);
        if (!m_data->restPending || !m_data->wholeSource) {
            return;  // whole already, or being decoded
        }
        source = std::move(m_data->wholeSource);
        m_data->wholeSource = nullptr;
    }
    // The worker holds the picture weakly: one dropped before its turn costs nothing, and one
    // dropped meanwhile stops its source early.
    restWorker().start([weak = std::weak_ptr<Data>(m_data), dropped = m_data->dropped,
                        source = std::move(source)] {
        if (dropped->load()) {
            return;
        }
        Whole decoded = source(*dropped);
        const std::shared_ptr<Data> data = weak.lock();
        if (!data) {
            return;
        }
        std::vector<std::function<void()>> callbacks;
        {
            std::lock_guard lock(data->fullMutex);
            if (decoded.planes && decoded.planes->size() == data->sizePx) {
                data->planes = std::move(decoded.planes);
                data->held = QImage();
            } else if (decoded.raster.size() == data->sizePx) {
                data->held = std::move(decoded.raster);
            } else {
                // Never the part shown so far on a filler: what cannot be decoded whole is not
                // a picture, as for a file that fails at once.
                data->held = QImage();
                data->restFailed = true;
            }
            data->restPending = false;
            data->settleMemoryLocked();
            callbacks.swap(data->whenDecoded);
        }
        data->restDecoded.notify_all();
        for (const auto& done : callbacks) {
            done();
        }
    });
}

bool Picture::decodingRest() const {
    if (!m_data) {
        return false;
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->restPending;
}

bool Picture::restFailed() const {
    if (!m_data) {
        return false;
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->restFailed;
}

bool Picture::awaitWhole() const {
    if (!m_data) {
        return true;
    }
    decodeRestInBackground();
    std::unique_lock lock(m_data->fullMutex);
    m_data->waitForRestLocked(lock);
    return !m_data->restFailed;
}

QImage Picture::topLeftPart() const {
    if (!m_data) {
        return QImage();
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->held;
}

void Picture::whenDecoded(std::function<void()> done) const {
    if (!m_data) {
        return;
    }
    {
        std::lock_guard lock(m_data->fullMutex);
        if (m_data->restPending) {
            m_data->whenDecoded.push_back(std::move(done));
            return;
        }
    }
    done();
}

Picture Picture::fromMetafile(const Metafile& metafile, double dpi) {
    Picture p;
    p.m_data = std::make_shared<Data>();
    // A drawing has no picture type of its own: it is saved, copied and converted as a bitmap.
    p.m_data->kind = metafile.kind() == MetafileKind::Emf   ? PictureKind::EnhancedMetafile
                     : metafile.kind() == MetafileKind::Svg ? PictureKind::Bitmap
                                                            : PictureKind::Metafile;
    p.m_data->dpi = usableDpi(dpi);
    const QSizeF himetric(metafile.sizeHimetric());
    p.m_data->sizeHimetric = QSize(static_cast<int>(std::lround(himetric.width())),
                                   static_cast<int>(std::lround(himetric.height())));
    p.m_data->sizePx = QSize(metafile.sizePixels(p.m_data->dpi));
    p.m_data->metafile = metafile;
    p.m_data->originalBytes = metafile.bytes();
    return p;
}

PictureKind Picture::kind() const {
    return m_data ? m_data->kind : PictureKind::Bitmap;
}

bool Picture::isMetafile() const {
    return m_data && m_data->metafile.has_value();
}

QSize Picture::sizePixels() const {
    return m_data ? m_data->sizePx : QSize();
}

QSize Picture::sizeHimetric() const {
    return m_data ? m_data->sizeHimetric : QSize();
}

double Picture::dpi() const {
    return m_data ? m_data->dpi : kDefaultDpi;
}

bool Picture::holdsPreview() const {
    return m_data && m_data->heldIsPreview;
}

QImage Picture::raster() const {
    if (!m_data) {
        return QImage();
    }
    decodeRestInBackground();
    std::unique_lock lock(m_data->fullMutex);
    m_data->waitForRestLocked(lock);
    if (m_data->planes) {
        // Whatever wants the whole raster (a zoom, a save, the clipboard) keeps wanting it, so
        // it replaces the planes. Without memory for it, the planes stay for the view at 1:1.
        const QSize size = m_data->planes->size();
        std::optional<MemoryBudget::Reservation> room =
            MemoryBudget::program().reserve(qint64(size.width()) * size.height() * 3);
        QImage rgb = room ? JpegPlanes::toRgb888(m_data->planes) : QImage();
        if (!rgb.isNull()) {
            m_data->held = std::move(rgb);
            m_data->fullMemory = std::move(*room);
            m_data->memory.shrinkTo(0);
        }
    }
    return m_data->held;
}

bool Picture::heldAsPlanes() const {
    if (!m_data) {
        return false;
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->planes != nullptr;
}

QImage Picture::region(const QRect& rect) const {
    if (!m_data || m_data->metafile) {
        return QImage();
    }
    if (m_data->heldIsPreview) {
        return fullRaster().copy(rect.intersected(QRect(QPoint(0, 0), m_data->sizePx)));
    }
    decodeRestInBackground();
    std::unique_lock lock(m_data->fullMutex);
    m_data->waitForRestLocked(lock);
    if (m_data->planes) {
        return m_data->planes->region(rect);
    }
    return m_data->held.copy(rect.intersected(m_data->held.rect()));
}

QImage Picture::fullRaster() const {
    if (!m_data) {
        return QImage();
    }
    if (m_data->metafile) {
        return m_data->metafile->render(m_data->sizePx, Qt::transparent);
    }
    if (!m_data->heldIsPreview) {
        return raster();
    }
    std::lock_guard lock(m_data->fullMutex);
    if (m_data->full.isNull() && m_data->fullSource) {
        // The full raster counts against the budget like any decode; without room for it
        // there is none, and the preview stays what is shown.
        const QSize size = m_data->sizePx;
        std::optional<MemoryBudget::Reservation> room =
            MemoryBudget::program().reserve(qint64(size.width()) * size.height() * 4);
        if (!room) {
            return QImage();
        }
        m_data->fullMemory = std::move(*room);
        QImage decoded = m_data->fullSource();
        // A source that changed size since the preview was made is not this picture any more.
        if (decoded.size() == m_data->sizePx) {
            m_data->full = std::move(decoded);
        } else {
            // Keep the view working with what we have rather than showing nothing.
            m_data->full = m_data->held.scaled(m_data->sizePx, Qt::IgnoreAspectRatio,
                                               Qt::SmoothTransformation);
        }
        m_data->fullSource = nullptr;
    }
    return m_data->full;
}

void Picture::holdMemory(MemoryBudget::Reservation reservation) const {
    if (!m_data) {
        return;
    }
    std::lock_guard lock(m_data->fullMutex);
    m_data->memory = std::move(reservation);
    m_data->settleMemoryLocked();
}

qint64 Picture::memoryHeld() const {
    if (!m_data) {
        return 0;
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->memory.bytes() + m_data->fullMemory.bytes();
}

qint64 Picture::bytesHeld() const {
    if (!m_data) {
        return 0;
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->bytesHeldLocked();
}

void Picture::keepSourceProfile(QByteArray icc) const {
    if (m_data) {
        std::lock_guard lock(m_data->fullMutex);
        m_data->sourceProfile = std::move(icc);
    }
}

QByteArray Picture::sourceProfile() const {
    if (!m_data) {
        return {};
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->sourceProfile;
}

void Picture::keepAnimation(Animation animation) const {
    if (m_data) {
        std::lock_guard lock(m_data->fullMutex);
        m_data->animation = std::make_shared<const Animation>(std::move(animation));
    }
}

std::shared_ptr<const Picture::Animation> Picture::animation() const {
    if (!m_data) {
        return nullptr;
    }
    std::lock_guard lock(m_data->fullMutex);
    return m_data->animation;
}

const Metafile* Picture::metafile() const {
    return m_data && m_data->metafile ? &*m_data->metafile : nullptr;
}

QByteArray Picture::originalBytes() const {
    return m_data ? m_data->originalBytes : QByteArray();
}

QImage Picture::render(QSize size, QColor background) const {
    if (!m_data || size.isEmpty()) {
        return QImage();
    }
    if (m_data->metafile) {
        return m_data->metafile->render(size, background);
    }
    QImage source = raster();
    if (m_data->heldIsPreview &&
        (size.width() > source.width() || size.height() > source.height())) {
        source = fullRaster();
    }
    if (source.size() != size) {
        source = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return onBackground(source, background);
}

}  // namespace gv
