#include <gtest/gtest.h>

#include <QSet>
#include <array>

#include "images/ImageTypeCatalogue.h"
#include "support/TestEnvironment.h"

using namespace gv;

TEST(ImageTypeCatalogue, MenuRowsInOrderWithTheirPatterns) {
    const QStringList captions = {"BMP",  "Jpeg", "GIF", "TIFF", "PCX", "PNG",     "WMF",  "EMF",
                                  "PICT", "TGA",  "EPS", "DIB",  "RLE", "Cursors", "Icons",
                                  // The newer formats come after.
                                  "WebP", "AVIF", "HEIF", "JPEG XL", "SVG", "Camera raw"};
    const auto rows = imageTypeRows();
    ASSERT_EQ(rows.size(), 21u);
    for (int i = 0; i < 21; ++i) {
        EXPECT_EQ(rows[i].index, i);
        EXPECT_EQ(QString(rows[i].caption), captions[i]);
        // The tag is exactly the extensions as "*.ext;" items.
        QString fromExtensions;
        for (const QString& ext : rows[i].extensionList()) {
            fromExtensions += "*" + ext + ";";
        }
        EXPECT_EQ(QString(rows[i].pattern), fromExtensions) << i;
    }
    EXPECT_EQ(allTypesPattern(),
              "*.bmp;*.jpg;*.jpe;*.jpeg;*.gif;*.tif;*.tiff;*.pcx;*.png;*.wmf;*.emf;*.pct;*.tga;"
              "*.eps;*.dib;*.rle;*.cur;*.ico;*.webp;*.avif;*.heic;*.heif;*.jxl;*.svg;*.svgz;*.cr2;"
              "*.cr3;*.nef;*.arw;*.dng;*.orf;*.raf;*.rw2");
    EXPECT_EQ(QString(kInitialFilePattern), "*.bmp;*.wmf;*.ico;*.gif;*.jpg;*.emf;*.cur");
}

TEST(ImageTypeCatalogue, PatternOfCheckedRows) {
    struct Case {
        std::array<bool, kImageTypeCount> checked;
        const char* pattern;
    };
    std::array<bool, kImageTypeCount> none{};
    std::array<bool, kImageTypeCount> gifOnly{};
    gifOnly[2] = true;
    std::array<bool, kImageTypeCount> bmpAndIcons{};
    bmpAndIcons[0] = bmpAndIcons[14] = true;
    std::array<bool, kImageTypeCount> rawOnly{};
    rawOnly[20] = true;
    std::array<bool, kImageTypeCount> allButPcx;
    allButPcx.fill(true);
    allButPcx[kPcxTypeIndex] = false;
    const Case cases[] = {
        {none, ""},
        {gifOnly, "*.gif"},
        {bmpAndIcons, "*.bmp;*.ico"},
        {rawOnly, "*.cr2;*.cr3;*.nef;*.arw;*.dng;*.orf;*.raf;*.rw2"},
        {allButPcx,
         "*.bmp;*.jpg;*.jpe;*.jpeg;*.gif;*.tif;*.tiff;*.png;*.wmf;*.emf;*.pct;*.tga;*.eps;*.dib;"
         "*.rle;*.cur;*.ico;*.webp;*.avif;*.heic;*.heif;*.jxl;*.svg;*.svgz;*.cr2;*.cr3;*.nef;*.arw;"
         "*.dng;*.orf;*.raf;*.rw2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(filePattern(c.checked), QString(c.pattern));
    }
    // A short list counts the missing rows as unchecked.
    const bool firstTwo[] = {true, true};
    EXPECT_EQ(filePattern(firstTwo), "*.bmp;*.jpg;*.jpe;*.jpeg");
}

TEST(ImageTypeCatalogue, TypeKeyIsTheLastThreeCharactersOfTheName) {
    const std::pair<const char*, const char*> cases[] = {
        {"holiday.JPEG", "peg"},
        {"/home/u/scans/page.TIFF", "iff"},
        {"photo.jpe", "jpe"},
        {"Photo.Jpg", "jpg"},
        {"/pictures.gif/readme.png", "png"},  // the folder's name does not count
        {"ab", "ab"},
        {"/tmp/noextension", "ion"},
        {"", ""},
    };
    for (const auto& [name, key] : cases) {
        EXPECT_EQ(typeKey(name), QString(key)) << name;
    }
}

TEST(ImageTypeCatalogue, EveryListedExtensionHasAKnownKey) {
    QSet<QString> keys;
    for (const ImageTypeRow& row : imageTypeRows()) {
        for (const QString& ext : row.extensionList()) {
            const QString key = typeKey("file" + ext);
            EXPECT_TRUE(isSupportedKey(key)) << ext.toStdString();
            keys.insert(key);
        }
    }
    EXPECT_EQ(keys.size(), 33);
    EXPECT_EQ(keys.size(), qsizetype(typeKeyInfos().size()));
    for (const char* unknown : {"txt", "xcf", "raw", "", "JPG", "EBP", "CR2"}) {
        EXPECT_FALSE(isSupportedKey(unknown)) << unknown;
    }
}

TEST(ImageTypeCatalogue, PanelTextPerKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"jpg", "Jpeg File"},
        {"peg", "Jpeg File"},
        {"jpe", "Jpeg File"},
        {"bmp", "Bitmap File"},
        {"dib", "Bitmap File"},
        {"rle", "Bitmap File"},
        {"emf", "MetaFile"},
        {"wmf", "MetaFile"},
        {"ico", "Icon File"},
        {"cur", "Cursor"},
        {"gif", "GIF File (89a)"},
        {"png", "Portable Network Graphics"},
        {"pct", "Mac PICT format"},
        {"tga", "TGA File"},
        {"tif", "TIFF File"},
        {"iff", "TIFF File"},
        {"eps", "EPS Preview"},
        {"pcx", "Zsoft Paint"},
        {"ebp", "WebP File"},
        {"vif", "AVIF File"},
        {"eic", "HEIC File"},
        {"eif", "HEIF File"},
        {"jxl", "JPEG XL File"},
        {"svg", "SVG Drawing"},
        {"vgz", "SVG Drawing"},
        {"cr3", "Camera Raw"},
        {"rw2", "Camera Raw"},
        {"txt", ""},
    };
    for (const auto& [key, text] : cases) {
        EXPECT_EQ(ftypeText(key), QString(text)) << key;
    }
    EXPECT_EQ(ftypeText("gif", true), "GIF File (87a)");
    EXPECT_EQ(ftypeText("jpg", true), "Jpeg File");  // the GIF flag concerns GIFs only
}

TEST(ImageTypeCatalogue, AssociationsInRegistrationOrder) {
    struct Row {
        const char* extension;
        const char* setting;
        const char* classWord;
        const char* description;
        const char* thirdWord;
    };
    const Row expected[] = {
        {".bmp", "BMPassc", "Bitmap", "Bitmap File", "Image"},
        {".jpg", "JPGassc", "Jpeg", "Jpeg Compressed Image", "Image"},
        {".gif", "GIFassc", "GIF", "Graphics Interchangable Format", "Image"},
        {".emf", "EMFassc", "EMF", "Enhanced Windows Metafile", "Image"},
        {".wmf", "WMFassc", "WMF", "Windows Metafile", "Image"},
        {".ico", "ICOassc", "Icon", "Icon File", "Icon"},
        {".cur", "CURassc", "Cursor", "Cursor File", "Cursor"},
        {".tga", "TGAassc", "TGA", "Truevision Targa", "Image"},
        {".pcx", "PCXassc", "PCX", "Zsoft Paintbrush", "Image"},
        {".tif", "TIFassc", "Tiff", "Tagged Image File Format", "Image"},
        {".eps", "EPSassc", "EPSPrev", "EPS Preview", "Image"},
        {".pct", "PCTassc", "MacPICT", "Mac Pict", "Image"},
        {".png", "PNGassc", "PNG", "Portable Network Graphics", "Image"},
        {".webp", "WEBPassc", "WebP", "WebP Image", "Image"},
        {".avif", "AVIFassc", "AVIF", "AV1 Image File Format", "Image"},
        {".heic", "HEICassc", "HEIC", "High Efficiency Image Container", "Image"},
        {".heif", "HEIFassc", "HEIF", "High Efficiency Image File Format", "Image"},
        {".jxl", "JXLassc", "JPEGXL", "JPEG XL Image", "Image"},
        {".svg", "SVGassc", "SVG", "Scalable Vector Graphics", "Image"},
        {".dng", "RAWassc", "RAW", "Camera Raw", "Image"},
    };
    const auto rows = associationInfos();
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_NE(rows[i].association, nullptr);
        const Row& e = expected[i];
        EXPECT_EQ(QStringList({rows[i].associationExtension, rows[i].association->key,
                               rows[i].classWord, rows[i].description, rows[i].thirdWord}),
                  QStringList({e.extension, e.setting, e.classWord, e.description, e.thirdWord}));
        // The associated extension belongs to the row's own key.
        EXPECT_EQ(typeKey(QString("x") + expected[i].extension), QString(rows[i].key));
        const bool ownIcon = QString(rows[i].key) == "ico" || QString(rows[i].key) == "cur";
        EXPECT_EQ(rows[i].showsOwnIcon, ownIcon);
    }
    for (const char* key : {"dib", "rle", "jpe", "peg", "iff", "vgz", "cr2", "nef", "raf"}) {
        ASSERT_NE(typeKeyInfo(key), nullptr);
        EXPECT_EQ(typeKeyInfo(key)->association, nullptr) << key;
    }
}
