// Saving the shown picture: JPEG with a chosen quality or BMP for bitmaps, and metafiles,
// enhanced metafiles and icons in their own format; the browser then moves to the new file.

#include <QAction>
#include <QBuffer>
#include <QColorSpace>
#include <QFileInfo>
#include <QImageWriter>
#include <QListWidget>
#include <QPainter>
#include <algorithm>
#include <cerrno>

#include "images/ColourProfile.h"
#include "images/Picture.h"
#include "mainwindow/frmGlimvane.h"
#include "mainwindow/frmJpegQual.h"
#include "platform/Dialogs.h"
#include "platform/FileAccess.h"
#include "startup/AppState.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gv {
namespace {

struct SaveFormat {
    const char* filter;
    const char* extensions[2];  // expected extension per filter entry
};

const SaveFormat* formatFor(PictureKind kind) {
    static const SaveFormat kBitmap{"Jpeg (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp", {"jpg", "bmp"}};
    static const SaveFormat kEmf{"Enhanced MetaFile (*.emf)|*.emf", {"emf", "emf"}};
    static const SaveFormat kWmf{"Windows MetaFile (*.wmf)|*.wmf", {"wmf", "wmf"}};
    static const SaveFormat kIcon{"Icon (*.ico)|*.ico", {"ico", "ico"}};
    switch (kind) {
        case PictureKind::Bitmap:
            return &kBitmap;
        case PictureKind::EnhancedMetafile:
            return &kEmf;
        case PictureKind::Metafile:
            return &kWmf;
        case PictureKind::Icon:
            return &kIcon;
    }
    return nullptr;
}

// JPEG has no transparency: see-through parts become white, as on paper. The picture's
// resolution and colour profile stay for the writer; its texts are left to withComments().
QImage opaqueForJpeg(const QImage& image) {
    QImage out;
    if (image.hasAlphaChannel()) {
        out = QImage(image.size(), QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter(&out).drawImage(0, 0, image);
    } else {
        // The same pixels, shared, without the texts.
        out = QImage(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                     image.format());
        out.setColorTable(image.colorTable());
    }
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    out.setColorSpace(image.colorSpace());
    return out;
}

// The picture's texts as the JPEG's comments, so that a file saved again has those it was
// read with: a "Description" is the plain comment (a comment without a key is read as one),
// any other text "key: value". Qt's writer would give the plain comment a key.
QByteArray withComments(QByteArray jpeg, const QImage& image) {
    constexpr qsizetype kMaxComment = 0xFFFF - 2;  // a marker segment's length counts itself
    const auto byteAt = [&jpeg](qsizetype i) { return static_cast<uchar>(jpeg.at(i)); };
    if (jpeg.size() < 6 || byteAt(0) != 0xFF || byteAt(1) != 0xD8) {
        return jpeg;
    }
    // After the start marker, and after the JFIF header that must come first.
    qsizetype at = 2;
    if (byteAt(2) == 0xFF && byteAt(3) == 0xE0) {
        at = std::min(jpeg.size(), 4 + (qsizetype(byteAt(4)) << 8 | byteAt(5)));
    }
    QByteArray comments;
    for (const QString& key : image.textKeys()) {
        const QString text = key == QStringLiteral("Description")
                                 ? image.text(key)
                                 : key + QStringLiteral(": ") + image.text(key);
        const QByteArray bytes = text.toUtf8().left(kMaxComment);
        if (bytes.isEmpty()) {
            continue;
        }
        const qsizetype length = bytes.size() + 2;
        comments += "\xFF\xFE";
        comments += char(length >> 8);
        comments += char(length & 0xFF);
        comments += bytes;
    }
    return jpeg.insert(at, comments);
}

// A photo is shown converted into the display's colours. A JPEG gets them back in the profile
// its file embedded, and that profile, so that saved again it keeps the profile it came with;
// a bitmap, which carries no profile, is written in sRGB, as any viewer takes it. Where that
// cannot be done (a profile Qt's writer cannot carry, a damaged one), the pixels stay as shown,
// with the profile of the display they were shown on.
QImage inColoursToSave(QImage image, const QByteArray& source, bool jpeg) {
    const QByteArray shownIn =
        image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    if (!jpeg) {
        convertColours(image, shownIn, {});
    } else if (!source.isEmpty() && QColorSpace::fromIccProfile(source).isValid()) {
        convertColours(image, shownIn, source);
    }
    return image;
}

SaveFailure writeBytes(const QString& path, const QByteArray& bytes) {
    if (const int error = writeFileAtomically(path, bytes)) {
        return writeFailure(path, error);
    }
    return {};
}

}  // namespace

SaveFailure frmGlimvane::saveImageTo(const QString& path, const QString& extension, int quality) {
    const Picture& picture = Image1->picture();
    const SaveFailure unreadable{7, QStringLiteral("Out of memory")};
    if (extension == QStringLiteral("jpg") &&
        !QImageWriter::supportedImageFormats().contains("jpeg")) {
        return jpegWriterMissing();
    }
    if (extension == QStringLiteral("jpg") || extension == QStringLiteral("bmp")) {
        const bool jpeg = extension == QStringLiteral("jpg");
        const QImage image = inColoursToSave(picture.fullRaster(), picture.sourceProfile(), jpeg);
        if (image.isNull()) {
            return unreadable;
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, jpeg ? "jpeg" : "bmp");
        if (jpeg) {
            writer.setQuality(quality);
        }
        if (!writer.write(jpeg ? opaqueForJpeg(image) : image)) {
            return unreadable;
        }
        buffer.close();
        return writeBytes(path, jpeg ? withComments(bytes, image) : bytes);
    }
    QByteArray bytes = picture.originalBytes();
    // A cursor's own bytes say "cursor" (type 2) and carry a hot spot: an .ico file gets an
    // icon made from the picture instead.
    const bool cursorBytes = bytes.size() >= 4 && bytes.at(2) == 2 && bytes.at(3) == 0;
    if (extension == QStringLiteral("ico") && cursorBytes) {
        bytes.clear();
    }
    if (bytes.isEmpty() && extension == QStringLiteral("ico")) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "ico").write(picture.fullRaster());
    }
    if (bytes.isEmpty()) {
        return unreadable;
    }
    return writeBytes(path, bytes);
}

void frmGlimvane::mnuSave_Click() {
    if (!AwaitWholePicture()) {
        return;
    }
    const Picture& picture = Image1->picture();
    if (picture.isNull()) {
        return;
    }
    const SaveFormat* format = formatFor(picture.kind());
    if (!format) {
        return;
    }
    const auto choice = dialogs().saveFile(QStringLiteral("Save Image as..."), currentFolder(),
                                           QString::fromLatin1(format->filter), this);
    if (!choice) {
        return;
    }
    AppState& state = appState();
    QString path = choice->path;
    const int entry = qBound(1, choice->filterIndex, 2);
    const QString expected = QString::fromLatin1(format->extensions[entry - 1]);
    if (path.right(3).toLower() != expected) {
        path += QLatin1Char('.') + expected;
    }
    const QFileInfo target(path);  // the name's parts only: the file is asked by its bytes
    if (pathExists(path) &&
        dialogs().message(
            target.fileName() + QStringLiteral(" already exists.\nDo you want to replace it?"),
            MsgButtons::YesNo, MsgIcon::Exclamation, QStringLiteral("Save Image as..."),
            this) != MsgAnswer::Yes) {
        return;
    }
    SaveFailure failure;
    if (expected == QStringLiteral("jpg")) {
        frmJpegQual quality(this);
        bool fail = false;
        const int q = quality.GetQualVal(fail);
        if (fail || q < 1) {
            return;  // cancelled: nothing written, and the view and the list stay as they are
        }
        failure = saveImageTo(path, expected, q);
    } else {
        failure = saveImageTo(path, expected, 0);
    }
    if (failure.failed()) {
        const MsgIcon icon =
            failure.number == kJpegWriterMissing ? MsgIcon::None : MsgIcon::Critical;
        dialogs().message(saveFailureMessage(failure), MsgButtons::Ok, icon,
                          QStringLiteral("Glimvane"), this);
        return;
    }
    state.ImageIsSaved = true;
    if (choice->fileName.trimmed().isEmpty()) {
        return;
    }
    state.SuppressFileClick = true;
    setCurrentFolder(target.absolutePath());
    state.SuppressFileClick = false;
    const QString extension = target.fileName().right(3).toLower();
    if (!filePattern().toLower().contains(extension)) {
        for (int i = 0; i < mnuFTs.size(); ++i) {
            if (mnuFTs[i]->data().toString().contains(extension) && !mnuFTs[i]->isChecked()) {
                mnuFTs_Click(i);
            }
        }
    }
    state.SuppressFileClick = true;
    RefreshFileList();
    state.SuppressFileClick = false;
    const int row = rowOfFile(target.absoluteFilePath());
    if (row >= 0) {
        File1->setSelected(row, true);
        File1->setCurrentRow(row);
    }
    if (state.ImageIsSaved) {
        ImageSaved();
    } else {
        ImageStatic();
    }
}

}  // namespace gv
