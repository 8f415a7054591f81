#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace gv {

void putImageOnClipboard(const QImage& image, const QString& ownFormat,
                         const QByteArray& ownBytes) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    auto* data = new QMimeData;
    data->setImageData(image);
    if (!ownFormat.isEmpty()) {
        data->setData(ownFormat, ownBytes);
    }
    clipboard->setMimeData(data);
}

void clearClipboard() {
    QGuiApplication::clipboard()->clear();
}

bool clipboardHoldsImage() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

QImage clipboardImage() {
    return QGuiApplication::clipboard()->image();
}

QByteArray clipboardBytes(const QStringList& formats) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    for (const QString& format : formats) {
        if (data && data->hasFormat(format)) {
            return data->data(format);
        }
    }
    return QByteArray();
}

void watchClipboard(QObject* context, std::function<void()> changed) {
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, context,
                     std::move(changed));
}

}  // namespace gv
