#include "help/clsHelp.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QWindow>

#include "help/HelpFile.h"
#include "help/HelpViewer.h"

namespace gv {

clsHelp::clsHelp() = default;
clsHelp::~clsHelp() = default;

std::shared_ptr<const HelpFile> clsHelp::fileAt(const QString& path) {
    // The file read last is kept while it stays as it was: the window keeps its history.
    const QFileInfo info(path);
    const qint64 time = info.lastModified().toMSecsSinceEpoch();
    if (m_file && path == m_filePath && info.size() == m_fileSize && time == m_fileTime) {
        return m_file;
    }
    auto file = std::make_shared<HelpFile>(HelpFile::load(path));
    if (file->problem() != HelpFile::Problem::None) {
        m_problemText = file->problemText();
        return file;
    }
    m_file = std::move(file);
    m_filePath = path;
    m_fileSize = info.size();
    m_fileTime = time;
    return m_file;
}

clsHelp::Outcome clsHelp::Show(const QString& NewFile, const QString& WindowPane,
                               std::optional<quint32> ContextID) {
    // The target as a help engine is given it: the file, then ">" and the window type.
    const QString target =
        WindowPane.isEmpty() ? NewFile.trimmed() : NewFile.trimmed() + u'>' + WindowPane.trimmed();
    const qsizetype split = target.lastIndexOf(u'>');
    const QString path = split < 0 ? target : target.left(split);
    const QString window = split < 0 ? QString() : target.mid(split + 1);

    m_problemText.clear();
    const std::shared_ptr<const HelpFile> file = fileAt(path);
    switch (file->problem()) {
        case HelpFile::Problem::None:
            break;
        case HelpFile::Problem::Missing:
            return Outcome::Missing;
        default:
            return Outcome::Unreadable;
    }

    const bool fresh = !m_viewer;
    if (fresh) {
        m_viewer = std::make_unique<HelpViewer>();
    }
    if (m_viewer->helpFile() != file.get()) {
        m_viewer->setHelpFile(file);
    }
    if (!m_viewer->isVisible()) {
        m_viewer->setNavigationShown(window.compare(QLatin1String("popup"), Qt::CaseInsensitive) !=
                                     0);
    }
    Outcome outcome = Outcome::Shown;
    QString topic;
    if (ContextID) {
        topic = file->contextTopic(*ContextID);
        if (topic.isEmpty()) {
            outcome = Outcome::NoSuchTopic;
            m_viewer->setNavigationShown(true);
        }
    }
    m_viewer->showTopic(topic);

    // Help buttons sit in modal windows: the help window belongs to the one open, so that it
    // takes input and stays above it (a full-screen viewer too).
    QWidget* modal = QApplication::activeModalWidget();
    QWindow* owner = modal && modal != m_viewer.get() ? modal->windowHandle() : nullptr;
    m_viewer->winId();
    QWindow* handle = m_viewer->windowHandle();
    if (handle && handle->transientParent() != owner) {
        m_viewer->hide();
        handle->setTransientParent(owner);
    }
    if (fresh) {
        const QScreen* screen = modal ? modal->screen() : QApplication::primaryScreen();
        if (screen) {
            QRect frame = m_viewer->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_viewer->move(frame.topLeft());
        }
    }
    m_viewer->showNormal();
    m_viewer->raise();
    m_viewer->activateWindow();
    return outcome;
}

void clsHelp::CloseAll() {
    if (m_viewer) {
        m_viewer->close();
    }
}

}  // namespace gv
