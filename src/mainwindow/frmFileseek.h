#pragma once
// The floating Fileseek window: a search box over a result list that searches the main
// window's file list.

#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace gv {

class frmGlimvane;

class frmFileseek final : public QWidget {
    Q_OBJECT
public:
    explicit frmFileseek(frmGlimvane* owner);
    QLineEdit* Text1 = nullptr;
    QListWidget* List1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void chooseResult(QListWidgetItem* item);
    frmGlimvane* m_owner;
    bool m_backspacing = false;  // the focus comes back to take a character off
    bool m_selectOnRelease = false;  // a click brought the focus to the search box
};

}  // namespace gv
