#include "images/Metafile.h"

#include <QPainter>

#include <cmath>

#include "images/MemoryBudget.h"
#include "images/metafile/Canvas.h"
#include "images/metafile/EmfPlus.h"
#include "images/metafile/Players.h"

namespace gv {

namespace {

constexpr quint32 kEmfHeaderType = 1;
constexpr quint32 kEmrComment = 70;
constexpr qint64 kEmfSignatureOffset = 40;
constexpr quint32 kEmfSignature = 0x464D4520;
// Rasters larger than this are refused rather than allocated.
constexpr qint64 kMaxRenderSide = 32768;
constexpr qint64 kMaxRenderPixels = 64 * 1024 * 1024;
constexpr int kMaxPixelSize = 1'000'000;

}  // namespace

std::optional<Metafile> Metafile::fromBytes(const QByteArray& bytes, QString* error) {
    const metafile::ByteReader reader(bytes.constData(), bytes.size());
    const bool emf =
        reader.u32(0) == kEmfHeaderType && reader.u32(kEmfSignatureOffset) == kEmfSignature;
    std::optional<metafile::Layout> layout =
        emf ? metafile::parseEmf(reader, error) : metafile::parseWmf(reader, error);
    if (!layout) {
        return std::nullopt;
    }
    return Metafile(emf ? MetafileKind::Emf : MetafileKind::Wmf, bytes, *layout);
}

Metafile Metafile::playedElsewhere(MetafileKind kind, QByteArray bytes,
                                   const metafile::Layout& layout, Renderer renderer) {
    Metafile m(kind, std::move(bytes), layout);
    m.m_renderer = std::move(renderer);
    return m;
}

QSize Metafile::sizePixels(double dpi) const {
    if (!(dpi > 0) || !std::isfinite(dpi)) {
        dpi = 96;
    }
    auto pixels = [dpi](int himetric) {
        const double p = std::round(himetric * dpi / 2540.0);
        return int(std::clamp(p, 1.0, double(kMaxPixelSize)));
    };
    return QSize(pixels(m_layout.himetric.width()), pixels(m_layout.himetric.height()));
}

qint64 Metafile::imageBytes() const {
    if (m_kind != MetafileKind::Emf) {
        return 0;
    }
    const metafile::ByteReader reader(m_bytes.constData(), m_bytes.size());
    std::vector<qint64> slots;
    for (qint64 at = 0; reader.has(at, 8);) {
        const qint64 size = reader.u32(at + 4);
        if (size < 8 || !reader.has(at, size)) {
            break;
        }
        if (reader.u32(at) == kEmrComment) {
            metafile::EmfPlusPlayer::imageBytes(reader.sub(at, size), slots);
        }
        at += size;
    }
    qint64 total = 0;
    for (const qint64 bytes : slots) {
        total += bytes;
    }
    return total;
}

void Metafile::play(QPainter& painter, const QRectF& target) const {
    if (!painter.isActive() || !target.isValid() || !std::isfinite(target.width()) ||
        !std::isfinite(target.height())) {
        return;
    }
    if (m_renderer) {
        // Rendered at the pixels the target covers on the device, so it stays sharp.
        const QRect device = painter.transform().mapRect(target).toAlignedRect();
        const QImage image = render(device.size(), Qt::transparent);
        if (!image.isNull()) {
            painter.drawImage(target, image);
        }
        return;
    }
    const metafile::ByteReader reader(m_bytes.constData(), m_bytes.size());
    metafile::Canvas canvas(painter, target, m_layout.setup);
    if (m_kind == MetafileKind::Emf) {
        metafile::playEmf(reader, m_layout, canvas);
    } else {
        metafile::playWmf(reader, m_layout, canvas);
    }
}

QImage Metafile::render(const QSize& size, const QColor& background) const {
    if (size.isEmpty() || size.width() > kMaxRenderSide || size.height() > kMaxRenderSide ||
        qint64(size.width()) * size.height() > kMaxRenderPixels) {
        return {};
    }
    // The raster counts against the budget while it is painted; the caller's copy is the
    // picture's to count.
    const std::optional<MemoryBudget::Reservation> room =
        MemoryBudget::program().reserve(qint64(size.width()) * size.height() * 4);
    if (!room) {
        return {};
    }
    if (m_renderer) {
        return m_renderer(m_bytes, size, background);
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return {};
    }
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    play(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}

}  // namespace gv
