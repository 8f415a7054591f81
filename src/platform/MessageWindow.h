#pragma once
// The program's message window `Dialog`: a text, an OK button and a
// "Do not show this message again" box.

#include <QDialog>

class QCheckBox;
class QLabel;

namespace gv {

class MessageWindow final : public QDialog {
    Q_OBJECT
public:
    explicit MessageWindow(QWidget* owner = nullptr);
    // Shows the window modally; returns whether the box was ticked.
    bool ShowMessage(const QString& message, const QString& title, bool checked = false);

private:
    QLabel* m_text = nullptr;
    QCheckBox* m_dontShow = nullptr;
};

}  // namespace gv
