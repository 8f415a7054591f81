// Feeds arbitrary bytes to the metafile reader and plays whatever it accepts into a small
// raster: nothing may crash, read out of bounds, overflow or run away.

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "images/Metafile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Text drawing needs the font database of a GUI application; no screen is needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "metafile_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto picture = gv::Metafile::fromBytes(bytes, &error);
    if (!picture) {
        return 0;
    }
    (void)picture->sizePixels(96);
    const QImage image = picture->render(QSize(64, 48));
    if (image.isNull()) {
        std::abort();  // a readable picture must always render at a sane size
    }
    return 0;
}
