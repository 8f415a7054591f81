#pragma once
// The splash window shown while the program loads, with one status line.

#include <QWidget>

class QLabel;

namespace gv {

class frmSettingUp final : public QWidget {
    Q_OBJECT
public:
    explicit frmSettingUp(QWidget* parent = nullptr);
    void setStatus(const QString& text);
    QString status() const;

private:
    QLabel* m_status = nullptr;
};

}  // namespace gv
