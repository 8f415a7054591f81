#include "capture/frmCrop.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "settings/SettingKeys.h"

namespace gv {
namespace {

constexpr const char* kNoticeTitle = "Custom Capture";
constexpr const char* kNotice =
    "The whole screen has now been captured, you may now draw an area with the mouse and then "
    "press any key to select it.";
constexpr const char* kQuestionTitle = "Capture Error";
constexpr const char* kQuestion =
    "No area has been selected, would you like to capture the whole screen?";
constexpr int kRecordSize = 12;

}  // namespace

frmCrop::frmCrop(CropHost host, QRect screen, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_host(std::move(host)),
      m_screen(screen) {
    setObjectName(QStringLiteral("frmCrop"));
    setWindowTitle(QStringLiteral("Custom Capture Area"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(m_screen);

    Shape1 = named(new QFrame(this), "Shape1");
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Shape1->setStyleSheet(QStringLiteral("QFrame#Shape1 { border: 1px solid black; }"));
    Shape1->setGeometry(m_band.rect());
    Shape1->hide();
    Size = named(new QLabel(QStringLiteral("100x100"), this), "Size");
    Size->setAttribute(Qt::WA_TransparentForMouseEvents);
    Size->setStyleSheet(QStringLiteral("QLabel#Size { background: #E0E0E0; color: black; }"));
    Size->hide();
    Record = named(new QWidget(this), "Record");
    Record->setAttribute(Qt::WA_TransparentForMouseEvents);
    Record->setStyleSheet(
        QStringLiteral("QWidget#Record { background: #FF0000; border-radius: %1px; }")
            .arg(kRecordSize / 2));
    Record->setAttribute(Qt::WA_StyledBackground);
    Record->setGeometry(8, 8, kRecordSize, kRecordSize);
    Record->hide();
    Picture1 = named(new QLabel(this), "Picture1");
    Picture1->hide();

    Captim = named(new QTimer(this), "Captim");
    Captim->setInterval(kBlinkMs);
    connect(Captim, &QTimer::timeout, this, &frmCrop::Captim_Timer);
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(kPromptRaiseMs);
    connect(Timer1, &QTimer::timeout, this, [] {
        // The question may have come up behind this window, which covers the screen.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->windowTitle() == QString::fromLatin1(kQuestionTitle)) {
                w->raise();
                w->activateWindow();
            }
        }
    });
}

void frmCrop::Load() {
    if (GetSetting(keys::kScrnNoWarn).trimmed().toInt() == 1) {
        return;
    }
    if (dialogs().messageWithOptOut(QString::fromLatin1(kNotice), QString::fromLatin1(kNoticeTitle),
                                    m_host.owner)) {
        SaveSetting(keys::kScrnNoWarn, QStringLiteral("1"));
    }
}

void frmCrop::SetPic(const Picture& screen) {
    m_picture = screen;
    m_background = screen.raster();
    update();
}

void frmCrop::Show() {
    setGeometry(m_screen);
    showFullScreen();
    raise();
    activateWindow();
    setFocus();
}

void frmCrop::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, m_background);
}

void frmCrop::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Captim->start();
}

void frmCrop::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        Captim->start();
    }
}

void frmCrop::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (!m_done) {
        m_done = true;
        if (m_host.cancelled) {
            m_host.cancelled();
        }
    }
}

void frmCrop::Captim_Timer() {
    switch (blinkStep(m_blinks)) {
        case Blink::Show:
            Record->show();
            break;
        case Blink::Hide:
            Record->hide();
            break;
        case Blink::Leave:
            break;
        case Blink::HideAndStop:
            Record->hide();
            Captim->stop();
            m_blinks = 0;
            break;
    }
    ++m_blinks;
}

void frmCrop::mousePressEvent(QMouseEvent* event) {
    m_band.press(event->position().toPoint());
    Shape1->hide();
    Size->hide();
    Shape1->setGeometry(m_band.rect());
}

void frmCrop::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    m_band.drag(event->position().toPoint());
    if (!m_band.shown()) {
        Shape1->hide();
        Size->hide();
        return;
    }
    Shape1->setGeometry(m_band.rect());
    Shape1->show();
    Size->setText(m_band.sizeText());
    Size->adjustSize();
    Size->move(m_band.labelPosition());
    Size->show();
}

void frmCrop::keyPressEvent(QKeyEvent*) {
    if (m_done) {
        return;
    }
    if (m_band.nothingSelected()) {
        Timer1->start();
        const MsgAnswer answer =
            dialogs().message(QString::fromLatin1(kQuestion), MsgButtons::YesNo, MsgIcon::Question,
                              QString::fromLatin1(kQuestionTitle), this);
        Timer1->stop();
        if (answer != MsgAnswer::Yes) {
            return;  // the user can still draw
        }
        m_whole = true;
    }
    CutOut();
}

void frmCrop::CutOut() {
    Picture chosen = m_picture;
    if (!m_whole) {
        // Beyond the frozen screen's edge the cut-out is black.
        const QRect area = m_band.cutArea();
        QImage cut(area.size(), QImage::Format_RGB32);
        cut.fill(Qt::black);
        QPainter painter(&cut);
        painter.drawImage(QPoint(0, 0), m_background, area);
        painter.end();
        Picture1->setPixmap(QPixmap::fromImage(cut));
        Picture1->adjustSize();
        chosen = Picture::fromRaster(cut, PictureKind::Bitmap, {}, m_picture.dpi());
    }
    m_done = true;
    if (m_host.done) {
        m_host.done(chosen);
    }
}

}  // namespace gv
