// The Help menu's commands and the start-up tip: each hands its work to the help or the tips.

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "help/HelpCommands.h"
#include "help/clsHelp.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Controls.h"
#include "settings/SettingKeys.h"
#include "tips/Tips.h"

namespace gv {

clsHelp& frmGlimvane::help() {
    if (!m_help) {
        m_help = std::make_unique<clsHelp>();
    }
    return *m_help;
}

void frmGlimvane::connectHelpCommands() {
    mnuTips->setCheckable(true);
    connect(mnuHelpcont, &QAction::triggered, this, &frmGlimvane::mnuHelpcont_Click);
    connect(mnuReadme, &QAction::triggered, this, [this] { ShowReadMe(this); });
    connect(mnuTips, &QAction::triggered, this, &frmGlimvane::mnuTips_Click);
}

void frmGlimvane::mnuHelpcont_Click() {
    // From the full-screen viewer too, whose messages must come above it.
    QWidget* modal = QApplication::activeModalWidget();
    ShowHelpContents(help(), modal ? modal : this);
}

void frmGlimvane::ShowHelpTopic(int contextNumber) {
    // Asked for by a Help button of a modal window, which then owns the messages.
    QWidget* modal = QApplication::activeModalWidget();
    gv::ShowHelpTopic(help(), quint32(contextNumber), modal ? modal : this);
}

void frmGlimvane::ShowStartupTip() {
    if (!m_tips) {
        m_tips = std::make_unique<Tips>(this);
    }
    m_tips->ShowStartupTip();
}

void frmGlimvane::mnuTips_Click() {
    // The item has already changed its check mark when this runs.
    if (!mnuTips->isChecked()) {
        SaveSetting(keys::kShowTips, QStringLiteral("0"));
        if (m_tips) {
            m_tips->setShowAtStartupBox(false);
        }
    } else {
        SaveSetting(keys::kShowTips, QStringLiteral("1"));
        if (m_tips) {
            m_tips->setShowAtStartupBox(true);
        }
        ShowStartupTip();
    }
    mnuStatus->setEnabled(false);
    mnuBackCol->menuAction()->setEnabled(false);
    mnuFullscrn->setEnabled(false);
    Toolbar[5]->setEnabled(false);
    Toolbar[6]->setEnabled(false);
}

void frmGlimvane::CloseHelpAndTips() {
    if (m_help) {
        m_help->CloseAll();
    }
    m_tips.reset();
}

}  // namespace gv
