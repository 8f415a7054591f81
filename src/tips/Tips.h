#pragma once
// The tips of the program: the list read from the tips file, the tip shown, and the tip
// window that shows it, at start and on request.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace gv {

class frmTips;

class Tips final {
public:
    // random gives the next number in [0, 1); the program's own generator by default.
    explicit Tips(QWidget* owner, std::function<double()> random = {});
    ~Tips();
    Tips(const Tips&) = delete;
    Tips& operator=(const Tips&) = delete;

    // Reads the tips file at path and appends its lines to the tip list, then shows a random
    // tip. False, with nothing changed, when the file cannot be used; problem then holds the
    // words to show instead.
    bool LoadTips(const QString& path, QString* problem = nullptr);
    // A random tip of the list becomes the current one and is shown.
    void DoNextTip();
    void DisplayCurrentTip();
    // At start, when the user wants tips: the tip window with a random tip.
    void ShowStartupTip();
    // The "Show Tips at Startup" box of the tip window, when it is open.
    void setShowAtStartupBox(bool checked);

    const QStringList& tipList() const { return m_tips; }
    // Counted from 1; 0 before the first.
    int currentTip() const { return m_current; }
    frmTips* window() const;
    // The tips file beside the program.
    static QString tipsPath();

private:
    frmTips* ensureWindow();

    QWidget* m_owner;
    std::function<double()> m_random;
    QStringList m_tips;
    int m_current = 0;
    QPointer<frmTips> m_window;
};

}  // namespace gv
