#pragma once
// The benchmarks' picture folders: empty files under names as cameras, scanners and people make
// them.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cctype>
#include <random>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace gvbench {

// Names as cameras, scanners and people make them: varied stems, case, numbers and lengths,
// every image extension in either case, and some files that are not pictures.
inline void makeFolder(const QString& folder, int count, unsigned seed) {
    static const char* const kStems[] = {
        "IMG_",        "DSC",
        "dsc_",        "Beach",
        "sunset ",     "holiday-2019-",
        "scan",        "Photo ",
        "P",           "family reunion at the lake ",
        "screenshot_", "wallpaper",
        "Sunbeam",     "x",
        "PANO_",       "very long descriptive file name of a picture "};
    // About one name in fifty goes beyond ASCII, as in a typical collection.
    static const char* const kAccentedStems[] = {"Übersicht ", "café_", "Zürich ", "日本 "};
    static const char* const kExtensions[] = {"bmp",  "jpg", "jpe", "jpeg", "gif", "tif",
                                              "tiff", "pcx", "png", "wmf",  "emf", "pct",
                                              "tga",  "eps", "dib", "rle",  "cur", "ico"};
    static const char* const kOthers[] = {"txt", "xmp", "mov", "db", "html", "JPG~"};
    std::mt19937 random(seed);
    QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(folder);
    const int dir = ::open(path.constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < count; ++i) {
        std::string name = random() % 50 == 0 ? kAccentedStems[random() % std::size(kAccentedStems)]
                                              : kStems[random() % std::size(kStems)];
        if (random() % 4 == 0) {
            for (char& c : name) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        name += std::to_string(i);
        if (random() % 3 == 0) {
            name += random() % 2 ? " (copy)" : "_edit";
        }
        name += '.';
        std::string extension = random() % 10 == 0 ? kOthers[random() % std::size(kOthers)]
                                                   : kExtensions[random() % std::size(kExtensions)];
        if (random() % 5 == 0) {
            for (char& c : extension) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        name += extension;
        const int fd = ::openat(dir, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ::close(dir);
}

}  // namespace gvbench
