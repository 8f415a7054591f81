#include "platform/Desktop.h"

#include <QDesktopServices>
#include <QUrl>

namespace gv {

bool openDocument(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool openLocalFile(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool openWebAddress(const QString& address) {
    // A site stored without its scheme ("www.example.org") is a web address, not a file.
    QUrl url(address.trimmed(), QUrl::TolerantMode);
    if (url.scheme().isEmpty()) {
        url = QUrl(QStringLiteral("http://") + address.trimmed(), QUrl::TolerantMode);
    }
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QStringLiteral("http") && scheme != QStringLiteral("https") &&
         scheme != QStringLiteral("ftp"))) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

}  // namespace gv
