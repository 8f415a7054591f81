#include "platform/MessageWindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace gv {

MessageWindow::MessageWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("Dialog"));
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(360);
    m_dontShow = new QCheckBox(QStringLiteral("Do not show this message again"), this);
    m_dontShow->setObjectName(QStringLiteral("chkDontShow"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OKButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(m_text);
    layout->addWidget(m_dontShow);
    layout->addWidget(buttons);
}

bool MessageWindow::ShowMessage(const QString& message, const QString& title, bool checked) {
    setWindowTitle(title);
    m_text->setText(message);
    m_dontShow->setChecked(checked);
    exec();
    return m_dontShow->isChecked();
}

}  // namespace gv
