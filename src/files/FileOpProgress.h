#pragma once
// The window that shows a long file operation's progress: the name in work, files and bytes
// done, and a Cancel button.

#include <QDialog>

#include "files/FileOpEngine.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace gv {

// "3 of 1,000 files, 120 MB of 1 GB"; the bytes only where there are bytes to count.
QString progressText(qint64 filesDone, qint64 filesTotal, qint64 bytesDone, qint64 bytesTotal);

class FileOpProgress final : public QDialog {
    Q_OBJECT
public:
    FileOpProgress(FileOpKind kind, QWidget* owner);
    void showStatus(const FileOpStatus& status);

Q_SIGNALS:
    void cancelRequested();

protected:
    void reject() override;

private:
    QLabel* m_name = nullptr;
    QLabel* m_count = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace gv
