#pragma once
// The up-down arrows beside the capture delay's text box: they step the box's number between
// a minimum and a maximum, and leave the typing to the box.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace gv {

class DelayUpDown final : public QWidget {
    Q_OBJECT
public:
    DelayUpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent = nullptr);
    // One step up (+1) or down (-1); an empty box gets the minimum.
    void step(int by);

    QToolButton* up = nullptr;
    QToolButton* down = nullptr;

private:
    QLineEdit* m_buddy;
    int m_minimum;
    int m_maximum;
};

}  // namespace gv
