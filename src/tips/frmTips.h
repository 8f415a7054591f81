#pragma once
// The tip window "Glimvane Tips": shows the tip it is given, and hands its buttons and its
// check box to whoever owns the tips.

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace gv {

class frmTips final : public QDialog {
    Q_OBJECT
public:
    explicit frmTips(QWidget* owner);
    ~frmTips() override;

    QLabel* picTip = nullptr;
    QLabel* lblTipText = nullptr;
    QCheckBox* chkLoadTipsAtStartup = nullptr;
    QPushButton* cmdNextTip = nullptr;
    QPushButton* cmdExit = nullptr;

Q_SIGNALS:
    void nextTipClicked();
    // The user ticked or cleared the check box.
    void showAtStartupClicked(bool checked);
};

}  // namespace gv
