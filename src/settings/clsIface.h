#pragma once
// The main window's interface state: browser panel shown or hidden, its width and side,
// the Fileseek area, and what the panel shows. Read from the store when made, written back
// when destroyed.

#include <QObject>

namespace gv {

inline constexpr int kMinBrowserToolsWidth = 150;

class clsIface final : public QObject {
    Q_OBJECT
public:
    explicit clsIface(QObject* parent = nullptr);
    ~clsIface() override;

    int BrowserTools() const { return m_browserTools; }
    void setBrowserTools(int value);
    int BrowserToolsWidth() const { return m_browserToolsWidth; }
    void setBrowserToolsWidth(int value);  // raises no Change
    int BrowserToolsDockMode() const { return m_browserToolsDockMode; }
    void setBrowserToolsDockMode(int value);
    int FileseekToggle() const { return m_fileseekToggle; }
    void setFileseekToggle(int value);
    int BrowserMode() const { return m_browserMode; }
    void setBrowserMode(int value);

Q_SIGNALS:
    void Change();

private:
    int m_browserTools = 0;
    int m_browserToolsWidth = kMinBrowserToolsWidth;
    int m_browserToolsDockMode = 1;
    int m_fileseekToggle = 0;
    int m_browserMode = 1;
};

// Converts stored text the way the program's number reads do: surrounding blanks are
// ignored, a fraction is rounded; text that is no number yields the fallback.
int settingToInt(const QString& text, int fallback);

}  // namespace gv
