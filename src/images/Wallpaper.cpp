#include "images/Wallpaper.h"

#include <QDir>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/DesktopWallpaper.h"

namespace gv {

QString wallpaperFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/Glimvane");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/GVWallpaper.bmp");
}

QImage composeWallpaper(const QImage& picture, QSize screen, bool tiled, QColor background) {
    QImage out(screen, QImage::Format_RGB32);
    out.fill(background);
    if (picture.isNull()) {
        return out;
    }
    QPainter p(&out);
    if (tiled) {
        for (int y = 0; y < screen.height(); y += picture.height()) {
            for (int x = 0; x < screen.width(); x += picture.width()) {
                p.drawImage(x, y, picture);
            }
        }
    } else {
        p.drawImage((screen.width() - picture.width()) / 2,
                    (screen.height() - picture.height()) / 2, picture);
    }
    return out;
}

bool SetWallpaper(const Picture& picture, const QString& tileFlag) {
    if (picture.isNull() || picture.kind() != PictureKind::Bitmap) {
        return false;
    }
    const QImage image = picture.fullRaster();
    const QString path = wallpaperFile();
    QSaveFile file(path);
    if (image.isNull() || !file.open(QIODevice::WriteOnly) || !image.save(&file, "BMP") ||
        !file.commit()) {
        return false;
    }
    const bool tiled = tileFlag == QStringLiteral("1");
    if (setWallpaperWithDesktopTool(path, tiled)) {
        return true;
    }
    const QSize screen = rootWindowSize();
    return !screen.isEmpty() && paintRootWindow(composeWallpaper(image, screen, tiled), path);
}

}  // namespace gv
