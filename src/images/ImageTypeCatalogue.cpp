#include "images/ImageTypeCatalogue.h"

#include <QFileInfo>
#include <array>

namespace gv {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::array<ImageTypeRow, kImageTypeCount> kRows{{
    {0, "BMP"_L1, "*.bmp;"_L1, {".bmp"_L1}, 1},
    {1, "Jpeg"_L1, "*.jpg;*.jpe;*.jpeg;"_L1, {".jpg"_L1, ".jpe"_L1, ".jpeg"_L1}, 3},
    {2, "GIF"_L1, "*.gif;"_L1, {".gif"_L1}, 1},
    {3, "TIFF"_L1, "*.tif;*.tiff;"_L1, {".tif"_L1, ".tiff"_L1}, 2},
    {4, "PCX"_L1, "*.pcx;"_L1, {".pcx"_L1}, 1},
    {5, "PNG"_L1, "*.png;"_L1, {".png"_L1}, 1},
    {6, "WMF"_L1, "*.wmf;"_L1, {".wmf"_L1}, 1},
    {7, "EMF"_L1, "*.emf;"_L1, {".emf"_L1}, 1},
    {8, "PICT"_L1, "*.pct;"_L1, {".pct"_L1}, 1},
    {9, "TGA"_L1, "*.tga;"_L1, {".tga"_L1}, 1},
    {10, "EPS"_L1, "*.eps;"_L1, {".eps"_L1}, 1},
    {11, "DIB"_L1, "*.dib;"_L1, {".dib"_L1}, 1},
    {12, "RLE"_L1, "*.rle;"_L1, {".rle"_L1}, 1},
    {13, "Cursors"_L1, "*.cur;"_L1, {".cur"_L1}, 1},
    {14, "Icons"_L1, "*.ico;"_L1, {".ico"_L1}, 1},
    {15, "WebP"_L1, "*.webp;"_L1, {".webp"_L1}, 1},
    {16, "AVIF"_L1, "*.avif;"_L1, {".avif"_L1}, 1},
    {17, "HEIF"_L1, "*.heic;*.heif;"_L1, {".heic"_L1, ".heif"_L1}, 2},
    {18, "JPEG XL"_L1, "*.jxl;"_L1, {".jxl"_L1}, 1},
    // Vector drawings and camera raw files.
    {19, "SVG"_L1, "*.svg;*.svgz;"_L1, {".svg"_L1, ".svgz"_L1}, 2},
    {20,
     "Camera raw"_L1,
     "*.cr2;*.cr3;*.nef;*.arw;*.dng;*.orf;*.raf;*.rw2;"_L1,
     {".cr2"_L1, ".cr3"_L1, ".nef"_L1, ".arw"_L1, ".dng"_L1, ".orf"_L1, ".raf"_L1, ".rw2"_L1},
     8},
}};

constexpr auto kQt = ImageDecoder::QtReader;
constexpr auto kBmp = ImageDecoder::Bitmap;
constexpr auto kIcon = ImageDecoder::Icon;
constexpr auto kTga = ImageDecoder::Targa;
constexpr auto kPcx = ImageDecoder::Pcx;
constexpr auto kPict = ImageDecoder::Pict;
constexpr auto kPng = ImageDecoder::Png;
constexpr auto kTiff = ImageDecoder::Tiff;
constexpr auto kMeta = ImageDecoder::Metafile;
constexpr auto kEps = ImageDecoder::Eps;
constexpr auto kWebp = ImageDecoder::WebP;
constexpr auto kAvif = ImageDecoder::Avif;
constexpr auto kHeif = ImageDecoder::Heif;
constexpr auto kJxl = ImageDecoder::JpegXl;
constexpr auto kSvg = ImageDecoder::Svg;
constexpr auto kRaw = ImageDecoder::Raw;
constexpr const SettingKey* kAssoc = keys::kAssociationKeys;
constexpr QLatin1StringView kNone;

constexpr QLatin1StringView kJpegText = "Jpeg File"_L1;
constexpr QLatin1StringView kBitmapText = "Bitmap File"_L1;
constexpr QLatin1StringView kTiffText = "TIFF File"_L1;
constexpr QLatin1StringView kGif89aText = "GIF File (89a)"_L1;
constexpr QLatin1StringView kGif87aText = "GIF File (87a)"_L1;
constexpr QLatin1StringView kSvgText = "SVG Drawing"_L1;
constexpr QLatin1StringView kRawText = "Camera Raw"_L1;

// The associated keys come first, in the order their settings are listed and registered; the
// keys that share another key's type (or have no association) follow.
constexpr std::array<TypeKeyInfo, 33> kKeys{{
    {"bmp"_L1, kBmp, "bmp", kBitmapText, &kAssoc[0], "Bitmap"_L1, "Bitmap File"_L1, "Image"_L1,
     ".bmp"_L1, false},
    {"jpg"_L1, kQt, "jpeg", kJpegText, &kAssoc[1], "Jpeg"_L1, "Jpeg Compressed Image"_L1,
     "Image"_L1, ".jpg"_L1, false},
    {"gif"_L1, kQt, "gif", kGif89aText, &kAssoc[2], "GIF"_L1, "Graphics Interchangable Format"_L1,
     "Image"_L1, ".gif"_L1, false},
    {"emf"_L1, kMeta, "emf", "MetaFile"_L1, &kAssoc[3], "EMF"_L1, "Enhanced Windows Metafile"_L1,
     "Image"_L1, ".emf"_L1, false},
    {"wmf"_L1, kMeta, "wmf", "MetaFile"_L1, &kAssoc[4], "WMF"_L1, "Windows Metafile"_L1, "Image"_L1,
     ".wmf"_L1, false},
    {"ico"_L1, kIcon, "ico", "Icon File"_L1, &kAssoc[5], "Icon"_L1, "Icon File"_L1, "Icon"_L1,
     ".ico"_L1, true},
    {"cur"_L1, kIcon, "cur", "Cursor"_L1, &kAssoc[6], "Cursor"_L1, "Cursor File"_L1, "Cursor"_L1,
     ".cur"_L1, true},
    {"tga"_L1, kTga, "tga", "TGA File"_L1, &kAssoc[7], "TGA"_L1, "Truevision Targa"_L1, "Image"_L1,
     ".tga"_L1, false},
    {"pcx"_L1, kPcx, "PCX", "Zsoft Paint"_L1, &kAssoc[8], "PCX"_L1, "Zsoft Paintbrush"_L1,
     "Image"_L1, ".pcx"_L1, false},
    {"tif"_L1, kTiff, "tiff", kTiffText, &kAssoc[9], "Tiff"_L1, "Tagged Image File Format"_L1,
     "Image"_L1, ".tif"_L1, false},
    {"eps"_L1, kEps, "eps", "EPS Preview"_L1, &kAssoc[10], "EPSPrev"_L1, "EPS Preview"_L1,
     "Image"_L1, ".eps"_L1, false},
    {"pct"_L1, kPict, "PICT", "Mac PICT format"_L1, &kAssoc[11], "MacPICT"_L1, "Mac Pict"_L1,
     "Image"_L1, ".pct"_L1, false},
    {"png"_L1, kPng, "png", "Portable Network Graphics"_L1, &kAssoc[12], "PNG"_L1,
     "Portable Network Graphics"_L1, "Image"_L1, ".png"_L1, false},
    {"ebp"_L1, kWebp, "webp", "WebP File"_L1, &kAssoc[13], "WebP"_L1, "WebP Image"_L1, "Image"_L1,
     ".webp"_L1, false},
    {"vif"_L1, kAvif, "avif", "AVIF File"_L1, &kAssoc[14], "AVIF"_L1, "AV1 Image File Format"_L1,
     "Image"_L1, ".avif"_L1, false},
    {"eic"_L1, kHeif, "heif", "HEIC File"_L1, &kAssoc[15], "HEIC"_L1,
     "High Efficiency Image Container"_L1, "Image"_L1, ".heic"_L1, false},
    {"eif"_L1, kHeif, "heif", "HEIF File"_L1, &kAssoc[16], "HEIF"_L1,
     "High Efficiency Image File Format"_L1, "Image"_L1, ".heif"_L1, false},
    {"jxl"_L1, kJxl, "jxl", "JPEG XL File"_L1, &kAssoc[17], "JPEGXL"_L1, "JPEG XL Image"_L1,
     "Image"_L1, ".jxl"_L1, false},
    {"svg"_L1, kSvg, "svg", kSvgText, &kAssoc[18], "SVG"_L1, "Scalable Vector Graphics"_L1,
     "Image"_L1, ".svg"_L1, false},
    {"dng"_L1, kRaw, "raw", kRawText, &kAssoc[19], "RAW"_L1, "Camera Raw"_L1, "Image"_L1, ".dng"_L1,
     false},
    // Only the first extension of a type is associated.
    {"jpe"_L1, kQt, "jpeg", kJpegText, nullptr, kNone, kNone, kNone, kNone, false},
    {"peg"_L1, kQt, "jpeg", kJpegText, nullptr, kNone, kNone, kNone, kNone, false},
    {"iff"_L1, kTiff, "tiff", kTiffText, nullptr, kNone, kNone, kNone, kNone, false},
    {"dib"_L1, kBmp, "bmp", kBitmapText, nullptr, kNone, kNone, kNone, kNone, false},
    // An .rle file is a run-length-compressed Windows bitmap and a .jpe file a JPEG, so both
    // are named like their family in the information panel ("Bitmap File", "Jpeg File").
    {"rle"_L1, kBmp, "bmp", kBitmapText, nullptr, kNone, kNone, kNone, kNone, false},
    // A compressed SVG; the other raw formats share the raw association's check box.
    {"vgz"_L1, kSvg, "svg", kSvgText, nullptr, kNone, kNone, kNone, kNone, false},
    {"cr2"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
    {"cr3"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
    {"nef"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
    {"arw"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
    {"orf"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
    {"raf"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
    {"rw2"_L1, kRaw, "raw", kRawText, nullptr, kNone, kNone, kNone, kNone, false},
}};

constexpr int kAssociatedCount = 20;

}  // namespace

QStringList ImageTypeRow::extensionList() const {
    QStringList out;
    for (int i = 0; i < extensionCount; ++i) {
        out << QString(extensions[i]);
    }
    return out;
}

std::span<const ImageTypeRow> imageTypeRows() {
    return kRows;
}

std::span<const TypeKeyInfo> typeKeyInfos() {
    return kKeys;
}

std::span<const TypeKeyInfo> associationInfos() {
    return std::span<const TypeKeyInfo>(kKeys).first(kAssociatedCount);
}

QString typeKey(const QString& fileNameOrPath) {
    const QString name = QFileInfo(fileNameOrPath).fileName();
    return name.right(3).toLower();
}

const TypeKeyInfo* typeKeyInfo(const QString& key) {
    for (const TypeKeyInfo& info : kKeys) {
        if (info.key == key) {
            return &info;
        }
    }
    return nullptr;
}

bool isSupportedKey(const QString& key) {
    return typeKeyInfo(key) != nullptr;
}

QString ftypeText(const QString& key, bool gifIs87a) {
    const TypeKeyInfo* info = typeKeyInfo(key);
    if (!info) {
        return QString();
    }
    if (info->key == "gif"_L1 && gifIs87a) {
        return kGif87aText;
    }
    return info->ftypeText;
}

QString filePattern(std::span<const bool> checked) {
    QString pattern;
    for (const ImageTypeRow& row : kRows) {
        if (static_cast<std::size_t>(row.index) < checked.size() && checked[row.index]) {
            pattern += row.pattern;
        }
    }
    pattern.chop(1);
    return pattern;
}

QString allTypesPattern() {
    std::array<bool, kImageTypeCount> all;
    all.fill(true);
    return filePattern(all);
}

}  // namespace gv
