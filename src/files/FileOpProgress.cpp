#include "files/FileOpProgress.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/FileNameBytes.h"

namespace gv {

QString progressText(qint64 filesDone, qint64 filesTotal, qint64 bytesDone, qint64 bytesTotal) {
    const QLocale locale = QLocale::system();
    QString text =
        QStringLiteral("%1 of %2 files")
            .arg(locale.toString(std::min(filesDone, filesTotal)), locale.toString(filesTotal));
    if (bytesTotal > 0) {
        text += QStringLiteral(", %1 of %2")
                    .arg(locale.formattedDataSize(std::min(bytesDone, bytesTotal)),
                         locale.formattedDataSize(bytesTotal));
    }
    return text;
}

FileOpProgress::FileOpProgress(FileOpKind kind, QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FileOpProgress"));
    static const char* const kTitles[] = {"", "Moving...", "Copying...", "Deleting...",
                                          "Renaming..."};
    setWindowTitle(QString::fromLatin1(kTitles[int(kind)]));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("lblName"));
    m_name->setMinimumWidth(360);
    m_name->setTextFormat(Qt::PlainText);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("lblCount"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("pbProgress"));
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(m_name);
    layout->addWidget(m_bar);
    layout->addWidget(m_count);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, &FileOpProgress::reject);
}

void FileOpProgress::showStatus(const FileOpStatus& status) {
    const qint64 files = status.filesDone, filesTotal = status.filesTotal;
    const qint64 bytes = status.bytesDone, bytesTotal = status.bytesTotal;
    m_name->setText(fileNameForDisplay(status.current()));
    m_count->setText(progressText(files, filesTotal, bytes, bytesTotal));
    const double part = bytesTotal > 0   ? double(bytes) / double(bytesTotal)
                        : filesTotal > 0 ? double(files) / double(filesTotal)
                                         : 0.0;
    m_bar->setValue(int(std::min(1.0, part) * 1000));
}

void FileOpProgress::reject() {
    // The operation stops at its next step and then closes this window.
    m_cancel->setEnabled(false);
    m_name->setText(QStringLiteral("Cancelling..."));
    Q_EMIT cancelRequested();
}

}  // namespace gv
