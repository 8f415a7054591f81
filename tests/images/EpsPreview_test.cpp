#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

#include "images/Decoder.h"
#include "images/EpsPreview.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

// A binary header with the given (offset, length) pairs, followed by filler up to fileSize.
QByteArray header(quint32 psOff, quint32 psLen, quint32 wmfOff, quint32 wmfLen, quint32 tifOff,
                  quint32 tifLen, qsizetype fileSize) {
    QByteArray b("\xC5\xD0\xD3\xC6", 4);
    b.resize(kEpsBinaryHeaderSize);
    const quint32 fields[] = {psOff, psLen, wmfOff, wmfLen, tifOff, tifLen};
    for (int i = 0; i < 6; ++i) {
        qToLittleEndian(fields[i], b.data() + 4 + 4 * i);
    }
    b[28] = b[29] = '\xFF';
    if (fileSize > b.size()) {
        b.append(QByteArray(fileSize - b.size(), '%'));
    }
    return b;
}

// The layout from the first 30 bytes of a file, as the decoder reads it.
std::optional<EpsLayout> layoutOf(const QByteArray& bytes, QString* error = nullptr) {
    return parseEpsLayout(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 30)),
                          bytes.size(), error);
}

}  // namespace

TEST(EpsLayout, BinaryHeaderSectionsAreCheckedAgainstTheFile) {
    struct Valid {
        const char* what;
        QByteArray bytes;
        EpsSection ps, wmf, tiff;
    };
    const Valid valid[] = {
        {"postscript and tiff", header(30, 100, 0, 0, 130, 70, 200), {30, 100}, {}, {130, 70}},
        {"postscript and wmf", header(30, 10, 40, 160, 0, 0, 200), {30, 10}, {40, 160}, {}},
        {"section ends at the last byte", header(30, 170, 0, 0, 0, 0, 200), {30, 170}, {}, {}},
        {"only a preview", header(0, 0, 0, 0, 30, 10, 40), {}, {}, {30, 10}},
        {"plain postscript", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 1 1\n", {0, 47}, {}, {}},
    };
    for (const Valid& c : valid) {
        const auto layout = layoutOf(c.bytes);
        ASSERT_TRUE(layout) << c.what;
        EXPECT_EQ(layout->binaryHeader, c.bytes.startsWith("\xC5")) << c.what;
        for (auto [got, want] : {std::pair{layout->postscript, c.ps}, std::pair{layout->wmf, c.wmf},
                                 std::pair{layout->tiff, c.tiff}}) {
            EXPECT_EQ(got.offset, want.offset) << c.what;
            EXPECT_EQ(got.length, want.length) << c.what;
        }
    }
    const std::pair<const char*, QByteArray> invalid[] = {
        {"section one byte past the end", header(30, 171, 0, 0, 0, 0, 200)},
        {"offset inside the header", header(10, 20, 0, 0, 0, 0, 200)},
        {"offset past the end", header(300, 1, 0, 0, 0, 0, 200)},
        {"offset and length wrap 32 bits", header(0xFFFFFFF0u, 0x20, 0, 0, 0, 0, 200)},
        {"huge tiff length", header(30, 10, 0, 0, 40, 0xFFFFFFFFu, 200)},
        {"wmf out of bounds", header(30, 10, 40, 1000, 0, 0, 200)},
        {"no sections at all", header(0, 0, 0, 0, 0, 0, 200)},
        {"header cut short", header(30, 10, 0, 0, 0, 0, 40).left(20)},
        {"magic only", QByteArray("\xC5\xD0\xD3\xC6", 4)},
        {"not eps", "GIF89a.........................."},
        {"empty", QByteArray()},
    };
    for (const auto& [what, bytes] : invalid) {
        QString error;
        EXPECT_FALSE(layoutOf(bytes, &error)) << what;
        EXPECT_FALSE(error.isEmpty()) << what;
    }
}

TEST(EpsLayout, WrittenDosEpsFilesParseBack) {
    const QByteArray ps = gvtest::quadrantPostScript(QSize(20, 10));
    const QByteArray bytes = gvtest::dosEpsBytes(ps, "WMFDATA", "TIFFDATA!");
    const auto layout = layoutOf(bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(bytes.mid(layout->postscript.offset, layout->postscript.length), ps);
    EXPECT_EQ(bytes.mid(layout->wmf.offset, layout->wmf.length), "WMFDATA");
    EXPECT_EQ(bytes.mid(layout->tiff.offset, layout->tiff.length), "TIFFDATA!");
}

TEST(EpsLayout, BoundingBoxFromTheHeaderComments) {
    struct Case {
        const char* text;
        std::optional<QRectF> box;
    };
    const Case cases[] = {
        {"%!PS\n%%BoundingBox: 0 0 612 792\n", QRectF(0, 0, 612, 792)},
        {"%!PS\r\n%%BoundingBox:   10 20   110 70\r\n", QRectF(10, 20, 100, 50)},
        {"%!PS\n%%BoundingBox: -5.5 -5 5.5 5\n", QRectF(-5.5, -5, 11, 10)},
        {"%!PS\n%%BoundingBox: (atend)\n%%Trailer\n%%BoundingBox: 0 0 1 1\n", std::nullopt},
        {"%!PS\n% %%BoundingBox: 0 0 10 10\n", std::nullopt},  // not at a line start
        {"%!PS\n%%BoundingBox: 10 10 0 0\n", std::nullopt},
        {"%!PS\n%%BoundingBox: 0 0 nan 5\n", std::nullopt},
        {"%!PS\n%%BoundingBox: 0 0 1e300 5\n", std::nullopt},
        {"%!PS\n%%BoundingBox: 0 0 10\n", std::nullopt},
        {"%!PS\n%%BoundingBox:", std::nullopt},
        {"%!PS\nshowpage\n", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(epsBoundingBox(QByteArrayView(c.text)), c.box) << c.text;
    }
}

TEST(EpsLayout, DecoderRefusesHeadersPointingOutsideTheFile) {
    QTemporaryDir dir;
    const QByteArray tiffOnly = header(0, 0, 0, 0, 30, 500, 200);
    const QByteArray badTiff = header(30, 10, 0, 0, 40, 100, 140);  // points at filler
    const QByteArray badWmf = header(30, 10, 40, 100, 0, 0, 140);
    for (const QByteArray& bytes : {tiffOnly, badTiff, badWmf}) {
        const QString file = dir.filePath("x.eps");
        ASSERT_TRUE(gvtest::writeBytes(file, bytes));
        DecodeRequest r;
        r.dpi = 96;
        EXPECT_EQ(DecodeImageFile(file, r).error().number, kErrInvalidPicture);
    }
}
