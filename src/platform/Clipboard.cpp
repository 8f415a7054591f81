#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace gv {

void putImageOnClipboard(const QImage& image) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(image);
}

void clearClipboard() {
    QGuiApplication::clipboard()->clear();
}

bool clipboardHoldsPicture() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

QImage clipboardImage() {
    return QGuiApplication::clipboard()->image();
}

void watchClipboard(QObject* context, std::function<void()> changed) {
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, context,
                     std::move(changed));
}

}  // namespace gv
