#include "images/SvgDocument.h"

#include <zlib.h>

#include <QBuffer>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>

namespace gv {
namespace {

constexpr qint64 kChunk = 64 * 1024;

bool gzipped(QByteArrayView bytes) {
    return bytes.size() >= 2 && uchar(bytes[0]) == 0x1F && uchar(bytes[1]) == 0x8B;
}

// The unpacked bytes of a gzip stream, stopping at `limit`.
std::optional<QByteArray> gunzip(QByteArrayView bytes, qint64 limit, QString* why, bool* tooLarge) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        *why = QStringLiteral("cannot unpack the compressed drawing");
        return std::nullopt;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    QByteArray out;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (out.size() + kChunk > limit) {
            inflateEnd(&z);
            *tooLarge = true;
            *why = QStringLiteral("the compressed drawing unpacks too large");
            return std::nullopt;
        }
        const qsizetype at = out.size();
        out.resize(at + kChunk);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + at);
        z.avail_out = uInt(kChunk);
        rc = inflate(&z, Z_NO_FLUSH);
        out.resize(at + kChunk - qsizetype(z.avail_out));
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) {
        *why = QStringLiteral("the compressed drawing is damaged");
        return std::nullopt;
    }
    return out;
}

// Only references inside the drawing (#id) and data the file carries (data:) are followed.
bool internalReference(QStringView value) {
    const QStringView v = value.trimmed();
    return v.startsWith(QLatin1Char('#')) ||
           v.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

QSizeF rootSize(const QXmlStreamAttributes& attributes) {
    const std::optional<double> width = svgLengthInPixels(attributes.value(QLatin1String("width")));
    const std::optional<double> height =
        svgLengthInPixels(attributes.value(QLatin1String("height")));
    QSizeF box;
    const QStringList numbers =
        attributes.value(QLatin1String("viewBox"))
            .toString()
            .split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    if (numbers.size() == 4) {
        bool okW = false;
        bool okH = false;
        box = QSizeF(numbers[2].toDouble(&okW), numbers[3].toDouble(&okH));
        if (!okW || !okH || !(box.width() > 0) || !(box.height() > 0)) {
            box = QSizeF();
        }
    }
    if (width && height) {
        return QSizeF(*width, *height);
    }
    if (box.isEmpty()) {
        return QSizeF();
    }
    // One side given: the other follows the viewBox's shape.
    if (width) {
        return QSizeF(*width, *width * box.height() / box.width());
    }
    if (height) {
        return QSizeF(*height * box.width() / box.height(), *height);
    }
    return box;
}

}  // namespace

std::optional<double> svgLengthInPixels(QStringView text) {
    struct Unit {
        const char* name;
        double pixels;
    };
    static const Unit kUnits[] = {{"px", 1},         {"pt", 96.0 / 72}, {"pc", 16},
                                  {"mm", 96 / 25.4}, {"cm", 96 / 2.54}, {"in", 96}};
    QStringView t = text.trimmed();
    double scale = 1;
    for (const Unit& u : kUnits) {
        if (t.endsWith(QLatin1String(u.name), Qt::CaseInsensitive)) {
            t.chop(2);
            scale = u.pixels;
            break;
        }
    }
    bool ok = false;
    const double value = t.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0) {
        return std::nullopt;
    }
    return value * scale;
}

std::optional<SvgDocument> readSvgDocument(QByteArrayView bytes, qint64 budget, QString* why,
                                           bool* tooLarge) {
    bool large = false;
    QString reason;
    const auto fail = [&](QString text) {
        if (why) {
            *why = std::move(text);
        }
        if (tooLarge) {
            *tooLarge = large;
        }
        return std::nullopt;
    };
    QByteArray plain;
    if (gzipped(bytes)) {
        std::optional<QByteArray> unpacked = gunzip(bytes, budget, &reason, &large);
        if (!unpacked) {
            return fail(reason);
        }
        plain = std::move(*unpacked);
    } else {
        plain = bytes.toByteArray();
    }
    QXmlStreamReader reader(plain);
    SvgDocument doc;
    QBuffer out(&doc.xml);
    out.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&out);
    int depth = 0;
    qint64 elements = 0;
    bool sawRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartDocument:
                writer.writeStartDocument();
                break;
            case QXmlStreamReader::StartElement: {
                if (++depth > kMaxSvgDepth) {
                    return fail(QStringLiteral("the drawing is nested too deeply"));
                }
                if (++elements > kMaxSvgElements) {
                    return fail(QStringLiteral("the drawing has too many elements"));
                }
                if (!sawRoot) {
                    if (reader.name() != QLatin1String("svg")) {
                        return fail(QStringLiteral("not an SVG drawing"));
                    }
                    sawRoot = true;
                    doc.size = rootSize(reader.attributes());
                }
                // Written by their names as the file spells them, so prefixes stay as they are.
                writer.writeStartElement(reader.qualifiedName().toString());
                for (const QXmlStreamNamespaceDeclaration& ns : reader.namespaceDeclarations()) {
                    const QString prefix = ns.prefix().toString();
                    writer.writeAttribute(prefix.isEmpty() ? QStringLiteral("xmlns")
                                                           : QStringLiteral("xmlns:") + prefix,
                                          ns.namespaceUri().toString());
                }
                for (const QXmlStreamAttribute& a : reader.attributes()) {
                    if (a.name() == QLatin1String("href") && !internalReference(a.value())) {
                        continue;
                    }
                    writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
                }
                break;
            }
            case QXmlStreamReader::EndElement:
                --depth;
                writer.writeEndElement();
                break;
            case QXmlStreamReader::Characters:
                if (depth > 0) {
                    writer.writeCurrentToken(reader);
                }
                break;
            case QXmlStreamReader::EndDocument:
                writer.writeEndDocument();
                break;
            default:
                // The document type (its entities are expanded by now), comments, processing
                // instructions (style sheets of other files), unresolved entities: left out.
                break;
        }
        if (doc.xml.size() > budget) {
            large = true;
            return fail(QStringLiteral("the drawing is too large"));
        }
    }
    if (reader.hasError()) {
        return fail(
            QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString()));
    }
    if (!sawRoot) {
        return fail(QStringLiteral("not an SVG drawing"));
    }
    return doc;
}

}  // namespace gv
