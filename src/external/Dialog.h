#pragma once
// The window "Manually Add Link": a site's name and address, added to the user's sites.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace gv {

class clsVarMenus;

class Dialog final : public QDialog {
    Q_OBJECT
public:
    Dialog(clsVarMenus& sites, QWidget* parent = nullptr);

    QLineEdit* txtWebName = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* cmdAddLink = nullptr;
    QPushButton* cmdCanclnk = nullptr;

    void cmdAddLink_Click();

private:
    clsVarMenus& m_sites;
};

}  // namespace gv
