#pragma once
// The fixed table of image types Glimvane handles: the File Types menu rows, and per type key
// the decoder, the information-panel text and the association data. Every other part of the
// program asks here instead of keeping its own copy of these names.

#include <QLatin1StringView>
#include <QString>
#include <QStringList>
#include <span>

#include "settings/SettingKeys.h"

namespace gv {

// Which of our decoders loads a type. Qt's readers are told the format explicitly, so a file
// whose contents do not match its extension is rejected instead of guessed.
enum class ImageDecoder {
    QtReader,  // Qt's image readers (format in TypeKeyInfo::readerFormat): JPEG, GIF
    Bitmap,    // our own BMP reader, run-length compressed bitmaps included
    Icon,      // our own icon and cursor reader
    Targa,     // our own Targa reader
    Pcx,       // our own PCX reader
    Pict,      // our own PICT reader, GraphicsMagick for what it does not draw
    Png,       // libpng
    Tiff,      // libtiff
    Metafile,  // our own WMF/EMF player
    Eps,       // preview inside the DOS EPS header, or Ghostscript
    WebP,      // libwebp, animations included
    Avif,      // libavif
    Heif,      // libheif
    JpegXl,    // libjxl
    Svg,       // Qt SVG, rendered at the shown size like a metafile
    Raw,       // LibRaw: a camera raw file's own full-size preview
};

// One item of the File Types menu.
struct ImageTypeRow {
    int index;
    QLatin1StringView caption;
    QLatin1StringView pattern;  // ends with ";" so that patterns concatenate as they stand
    QLatin1StringView extensions[8];
    int extensionCount;

    QStringList extensionList() const;
};

// What the program knows about one type key.
struct TypeKeyInfo {
    QLatin1StringView key;
    ImageDecoder decoder;
    const char* readerFormat;
    QLatin1StringView ftypeText;
    // Association data; association == nullptr for keys that are never associated.
    const SettingKey* association;
    QLatin1StringView classWord;
    QLatin1StringView description;
    QLatin1StringView thirdWord;
    QLatin1StringView associationExtension;
    // Icons and cursors are registered so that each file shows itself as its own icon.
    bool showsOwnIcon;
};

// The fifteen original types, then the formats phones, the web and cameras write now.
inline constexpr int kImageTypeCount = 21;
inline constexpr int kPcxTypeIndex = 4;

// The File Types rows in menu order.
std::span<const ImageTypeRow> imageTypeRows();
// Every known type key, associated ones first in the order they are registered.
std::span<const TypeKeyInfo> typeKeyInfos();
// The rows that carry association data, in registration order.
std::span<const TypeKeyInfo> associationInfos();

// The last three characters of the file name, lower-cased; the only way a type is recognised.
QString typeKey(const QString& fileNameOrPath);
bool isSupportedKey(const QString& key);
// nullptr for an unsupported key.
const TypeKeyInfo* typeKeyInfo(const QString& key);

// The information panel's type text; "GIF File (87a)" or "GIF File (89a)" for gif; empty for
// an unsupported key.
QString ftypeText(const QString& key, bool gifIs87a = false);

// The concatenated patterns of the checked rows without the final ";" (checked[i] belongs to
// row i; missing entries count as unchecked).
QString filePattern(std::span<const bool> checked);
// All the patterns joined, as the Open dialog filter lists them with every type checked.
QString allTypesPattern();

// The file list's pattern before the File Types menu exists.
inline constexpr QLatin1StringView kInitialFilePattern{"*.bmp;*.wmf;*.ico;*.gif;*.jpg;*.emf;*.cur"};

}  // namespace gv
