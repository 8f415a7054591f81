#include "capture/CaptureRules.h"

#include <QtGlobal>

namespace gv {

bool delayFieldAccepts(int qtKey, const QString& typed) {
    if (qtKey == Qt::Key_Backspace) {
        return true;
    }
    return typed.size() == 1 && typed.at(0) >= QLatin1Char('0') && typed.at(0) <= QLatin1Char('9');
}

QString delayFieldAfterKey(const QString& text) {
    QString digits;
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits += c;
        }
    }
    if (digits.isEmpty()) {
        return digits;
    }
    // Compared as digits, so that no length of number can overflow.
    qsizetype first = 0;
    while (first < digits.size() - 1 && digits.at(first) == QLatin1Char('0')) {
        ++first;
    }
    const QString significant = digits.mid(first);
    if (significant.size() > 3 || significant.toInt() > kMaxDelaySeconds) {
        return QString::number(kMaxDelaySeconds);
    }
    if (significant.toInt() < kMinDelaySeconds) {
        return QString::number(kMinDelaySeconds);
    }
    return digits;
}

bool settingAsBool(const QString& text, bool fallback) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const double number = t.toDouble(&ok);
    return ok ? number != 0 : fallback;
}

int settingAsIndex(const QString& text, int count) {
    bool ok = false;
    const int index = text.trimmed().toInt(&ok);
    return ok && index >= 0 && index < count ? index : 0;
}

QRect activeWindowArea(QSize windowSize, bool maximised) {
    if (maximised) {
        return QRect(5, 5, windowSize.width() - 7, windowSize.height() - 3);
    }
    return QRect(QPoint(0, 0), windowSize);
}

bool printsLandscape(QSizeF picture) {
    return picture.height() < picture.width();
}

QSizeF fittedToPage(QSizeF picture, QSizeF printable) {
    if (picture.isEmpty() || printable.isEmpty()) {
        return {};
    }
    const double pictureRatio = picture.width() / picture.height();
    const double printerRatio = printable.width() / printable.height();
    if (pictureRatio >= printerRatio) {
        return {printable.width(), printable.width() / pictureRatio};
    }
    return {printable.height() * pictureRatio, printable.height()};
}

void RubberBand::press(QPoint at) {
    m_start = at;
    m_shown = false;
    m_rect.moveTopLeft(at);
}

void RubberBand::drag(QPoint at) {
    const int width = at.x() - m_start.x();
    const int height = at.y() - m_start.y();
    // Only drags to the right and downwards select.
    if (width < 0 || height < 0) {
        m_shown = false;
        return;
    }
    m_rect = QRect(m_start, QSize(width, height));
    m_shown = true;
}

QString RubberBand::sizeText() const {
    return QStringLiteral("%1x%2").arg(m_rect.width()).arg(m_rect.height());
}

QPoint RubberBand::labelPosition() const {
    return m_rect.topLeft() + QPoint(m_rect.width() + kLabelGap, m_rect.height() + kLabelGap);
}

QRect RubberBand::cutArea() const {
    return QRect(m_rect.topLeft(),
                 QSize(m_rect.width() + kExtraWidth, m_rect.height() + kExtraHeight));
}

Blink blinkStep(int counter) {
    switch (counter) {
        case 0:
        case 2:
            return Blink::Show;
        case 1:
        case 3:
            return Blink::Hide;
        case 4:
            return Blink::Leave;
        default:
            return counter > 4 ? Blink::HideAndStop : Blink::Leave;
    }
}

}  // namespace gv
