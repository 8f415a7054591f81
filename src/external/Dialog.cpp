#include "external/Dialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "external/clsVarMenus.h"
#include "platform/Dialogs.h"

namespace gv {

Dialog::Dialog(clsVarMenus& sites, QWidget* parent) : QDialog(parent), m_sites(sites) {
    setObjectName(QStringLiteral("Dialog"));
    setWindowTitle(QStringLiteral("Manually Add Link"));
    auto* frame = new QGroupBox(QStringLiteral("Add Link"), this);
    txtWebName = new QLineEdit(frame);
    txtWebName->setObjectName(QStringLiteral("txtWebName"));
    txtWebName->setAccessibleName(QStringLiteral("Website Name:"));
    Text1 = new QLineEdit(QStringLiteral("http://"), frame);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Website URL"));
    Text1->setMinimumWidth(260);
    auto* fields = new QFormLayout(frame);
    fields->addRow(QStringLiteral("Website Name:"), txtWebName);
    fields->addRow(QStringLiteral("Website URL"), Text1);
    cmdAddLink = new QPushButton(QStringLiteral("Add Link"), this);
    cmdAddLink->setObjectName(QStringLiteral("cmdAddLink"));
    cmdCanclnk = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCanclnk->setObjectName(QStringLiteral("cmdCanclnk"));
    // Enter in the fields acts through the buttons, never as a default button of its own.
    cmdAddLink->setAutoDefault(false);
    cmdCanclnk->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAddLink);
    buttons->addWidget(cmdCanclnk);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    connect(cmdAddLink, &QPushButton::clicked, this, &Dialog::cmdAddLink_Click);
    connect(Text1, &QLineEdit::returnPressed, this, &Dialog::cmdAddLink_Click);
    connect(cmdCanclnk, &QPushButton::clicked, this, &QDialog::reject);
}

void Dialog::cmdAddLink_Click() {
    if (txtWebName->text().trimmed().isEmpty()) {
        dialogs().message(QStringLiteral("Please enter a name for the website"), MsgButtons::Ok,
                          MsgIcon::Exclamation, QStringLiteral("Enter Name"), this);
        return;
    }
    const QString address = Text1->text().trimmed();
    if (address.isEmpty() || address == QStringLiteral("http://")) {
        dialogs().message(QStringLiteral("Please enter a website URL"), MsgButtons::Ok,
                          MsgIcon::Exclamation, QStringLiteral("Enter URL"), this);
        return;
    }
    bool fail = false;
    m_sites.AddItem(txtWebName->text(), Text1->text(), fail);
    if (!fail) {
        accept();
    }
}

}  // namespace gv
