#include "tips/Tips.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>

#include "platform/Paths.h"
#include "settings/SettingKeys.h"
#include "tips/TipsFile.h"
#include "tips/frmTips.h"

namespace gv {

Tips::Tips(QWidget* owner, std::function<double()> random)
    : m_owner(owner), m_random(std::move(random)) {}

Tips::~Tips() {
    delete m_window;
}

frmTips* Tips::window() const {
    return m_window.data();
}

QString Tips::tipsPath() {
    return joinPath(programFolder(), QString::fromLatin1(kTipsFileName));
}

frmTips* Tips::ensureWindow() {
    if (!m_window) {
        m_window = new frmTips(m_owner);
        QObject::connect(m_window, &frmTips::nextTipClicked, m_window, [this] { DoNextTip(); });
        QObject::connect(m_window, &frmTips::showAtStartupClicked, m_window, [](bool checked) {
            SaveSetting(keys::kShowTips, checked ? QStringLiteral("1") : QStringLiteral("0"));
        });
    }
    return m_window;
}

bool Tips::LoadTips(const QString& path, QString* problem) {
    const TipsRead read = readTipsFile(path);
    if (read.status != TipsRead::Status::Ok) {
        if (problem) {
            *problem = tipsProblemText(read);
        }
        return false;
    }
    // Each load appends: a second one doubles the list, which keeps every tip equally likely.
    m_tips.append(read.tips);
    DoNextTip();
    return true;
}

void Tips::DoNextTip() {
    const double r = m_random ? m_random() : QRandomGenerator::global()->generateDouble();
    m_current = int(r * m_tips.size() + 1);
    DisplayCurrentTip();
}

void Tips::DisplayCurrentTip() {
    if (m_tips.isEmpty() || !m_window) {
        return;
    }
    m_window->lblTipText->setText(m_tips.value(std::clamp<int>(m_current, 1, m_tips.size()) - 1));
}

void Tips::ShowStartupTip() {
    if (!isOne(keys::kShowTips)) {
        return;
    }
    frmTips* window = ensureWindow();
    window->chkLoadTipsAtStartup->setChecked(true);
    window->cmdNextTip->setVisible(true);
    window->chkLoadTipsAtStartup->setVisible(true);
    window->lblTipText->setVisible(true);
    QString problem;
    if (!LoadTips(tipsPath(), &problem)) {
        window->lblTipText->setText(problem);
    }
    window->show();
    window->raise();
}

void Tips::setShowAtStartupBox(bool checked) {
    if (m_window) {
        m_window->chkLoadTipsAtStartup->setChecked(checked);
    }
}

}  // namespace gv
