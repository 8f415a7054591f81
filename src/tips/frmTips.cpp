#include "tips/frmTips.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "startup/AppState.h"

namespace gv {

frmTips::frmTips(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmTips"));
    setWindowTitle(QStringLiteral("Glimvane Tips"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    picTip = named(new QLabel(this), "picTip");
    picTip->setPixmap(applicationIcon().pixmap(48, 48));
    picTip->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    lblTipText = named(new QLabel(QStringLiteral("Tips are displayed here."), this), "lblTipText");
    lblTipText->setWordWrap(true);
    lblTipText->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    lblTipText->setTextFormat(Qt::PlainText);
    lblTipText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblTipText->setFrameShape(QFrame::StyledPanel);
    lblTipText->setMargin(10);
    lblTipText->setMinimumSize(360, 140);
    lblTipText->setAccessibleName(QStringLiteral("Tip"));
    chkLoadTipsAtStartup =
        named(new QCheckBox(QStringLiteral("Show Tips at Startup"), this), "chkLoadTipsAtStartup");
    cmdNextTip = named(new QPushButton(QStringLiteral("&Next Tip"), this), "cmdNextTip");
    cmdExit = named(new QPushButton(QStringLiteral("Exit"), this), "cmdExit");
    cmdNextTip->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    auto* tipRow = new QHBoxLayout;
    tipRow->addWidget(picTip);
    tipRow->addWidget(lblTipText, 1);
    layout->addLayout(tipRow, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkLoadTipsAtStartup);
    buttons->addStretch();
    buttons->addWidget(cmdNextTip);
    buttons->addWidget(cmdExit);
    layout->addLayout(buttons);

    connect(cmdNextTip, &QPushButton::clicked, this, &frmTips::nextTipClicked);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::close);
    connect(chkLoadTipsAtStartup, &QCheckBox::clicked, this, &frmTips::showAtStartupClicked);
    appState().SecondaryWindowOpen = true;
}

frmTips::~frmTips() {
    appState().SecondaryWindowOpen = false;
}

}  // namespace gv
