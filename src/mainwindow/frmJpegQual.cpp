#include "mainwindow/frmJpegQual.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "platform/Dialogs.h"

namespace gv {

frmJpegQual::frmJpegQual(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmJpegQual"));
    setWindowTitle(QStringLiteral("Jpeg Quality"));
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("Select Quality"), this);
    auto* grid = new QGridLayout(frame);
    m_slider = new QScrollBar(Qt::Horizontal, frame);
    m_slider->setObjectName(QStringLiteral("HScroll1"));
    m_slider->setRange(1, 100);
    m_slider->setPageStep(10);
    m_slider->setSingleStep(1);
    m_slider->setMinimumWidth(260);
    // A setting of its own, not a view's scroll bar: the arrow keys and Page keys change it.
    m_slider->setFocusPolicy(Qt::StrongFocus);
    m_slider->setAccessibleName(QStringLiteral("Quality"));
    m_value = new QLabel(QStringLiteral("Quality Value: 1"), frame);
    m_value->setObjectName(QStringLiteral("lblQuality"));
    grid->addWidget(m_slider, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Smaller File, Lower Quality"), frame), 1, 0,
                    Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("Larger File, Higher Quality"), frame), 1, 1,
                    Qt::AlignRight);
    grid->addWidget(m_value, 2, 0, 1, 2, Qt::AlignHCenter);
    layout->addWidget(frame);
    auto* buttons = new QHBoxLayout;
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(m_slider, &QScrollBar::valueChanged, this, [this](int v) {
        m_value->setText(QStringLiteral("Quality Value: ") + QString::number(v));
    });
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_slider->setValue(50);
}

int frmJpegQual::GetQualVal(bool& bFail) {
    const int result = dialogs().execModal(*this);
    bFail = result != QDialog::Accepted;
    return bFail ? 0 : m_slider->value();
}

QString frmJpegQual::valueText() const {
    return m_value->text();
}

void frmJpegQual::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_ok->setFocus();
}

}  // namespace gv
