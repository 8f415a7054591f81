#pragma once
// The "Jpeg Quality" dialog: a slider from 1 to 100.

#include <QDialog>

class QLabel;
class QScrollBar;

namespace gv {

class frmJpegQual final : public QDialog {
    Q_OBJECT
public:
    explicit frmJpegQual(QWidget* parent = nullptr);
    // Shows the dialog modally; returns the chosen quality, bFail True when cancelled.
    int GetQualVal(bool& bFail);

    QScrollBar* slider() const { return m_slider; }
    QString valueText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QScrollBar* m_slider = nullptr;
    QLabel* m_value = nullptr;
    class QPushButton* m_ok = nullptr;
};

}  // namespace gv
