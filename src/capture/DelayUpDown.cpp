#include "capture/DelayUpDown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace gv {

DelayUpDown::DelayUpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_buddy(buddy), m_minimum(minimum), m_maximum(maximum) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const auto arrow = [this, layout](Qt::ArrowType type, const char* name, int by) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setArrowType(type);
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAccessibleName(by > 0 ? QStringLiteral("More seconds")
                                    : QStringLiteral("Fewer seconds"));
        connect(b, &QToolButton::clicked, this, [this, by] { step(by); });
        layout->addWidget(b);
        return b;
    };
    up = arrow(Qt::UpArrow, "UpDown1_up", 1);
    down = arrow(Qt::DownArrow, "UpDown1_down", -1);
}

void DelayUpDown::step(int by) {
    bool ok = false;
    int value = m_buddy->text().toInt(&ok);
    if (!ok) {
        value = m_minimum;
    } else {
        value = qBound(m_minimum, value + by, m_maximum);
    }
    m_buddy->setText(QString::number(value));
}

}  // namespace gv
