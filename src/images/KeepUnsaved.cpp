#include "images/KeepUnsaved.h"

#include <QDir>
#include <QFile>

namespace gv {

QString unsavedImageName(const QDateTime& when, int attempt) {
    QString name = QStringLiteral("Glimvane unsaved image ") +
                   when.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    if (attempt > 1) {
        name += QStringLiteral(" (%1)").arg(attempt);
    }
    return name + QStringLiteral(".png");
}

QString keepUnsavedImage(const QImage& image, const QString& folder, const QDateTime& when) {
    if (image.isNull() || !QDir().mkpath(folder)) {
        return QString();
    }
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString path = QDir(folder).filePath(unsavedImageName(when, attempt));
        QFile file(path);
        // Created here or not at all: a file of that name, whoever made it, stays as it is.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists()) {
                continue;
            }
            return QString();
        }
        if (image.save(&file, "PNG") && file.flush()) {
            file.close();
            return path;
        }
        file.close();
        file.remove();
        return QString();
    }
    return QString();
}

}  // namespace gv
