#include "startup/frmSettingUp.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include "platform/Artwork.h"

namespace gv {

frmSettingUp::frmSettingUp(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmSettingUp"));
    setWindowTitle(QStringLiteral("Glimvane"));
    const QPixmap picture = splashPicture();
    setFixedSize(picture.deviceIndependentSize().toSize());
    auto* background = new QLabel(this);
    background->setPixmap(picture);
    background->setGeometry(rect());
    m_status = new QLabel(QStringLiteral("Loading Glimvane components..."), this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setFont(QFont(QStringLiteral("Arial"), 9));
    m_status->setStyleSheet(QStringLiteral("color: #e8eef6; background: transparent;"));
    m_status->setGeometry(16, height() - 30, width() - 32, 20);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
}

void frmSettingUp::setStatus(const QString& text) {
    m_status->setText(text);
    m_status->repaint();
}

QString frmSettingUp::status() const {
    return m_status->text();
}

}  // namespace gv
