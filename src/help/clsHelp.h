#pragma once
// The program's help: one help window for the whole program, opened at a help file's contents
// or at the topic of a context number. The window keeps working while a modal window of the
// program is open, since that is where its Help buttons are.

#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace gv {

class HelpFile;
class HelpViewer;

class clsHelp final {
public:
    enum class Outcome { Shown, Missing, Unreadable, NoSuchTopic };

    clsHelp();
    ~clsHelp();
    clsHelp(const clsHelp&) = delete;
    clsHelp& operator=(const clsHelp&) = delete;

    // Shows a help file, optionally in a named window type and at a context topic. The
    // target is the file, or "file>window" with a window type; the type "popup" shows the
    // topic alone, its contents a click away. A context number the file does not know shows
    // the contents (NoSuchTopic). Nothing is shown when the file is missing or cannot be read.
    Outcome Show(const QString& NewFile, const QString& WindowPane = QString(),
                 std::optional<quint32> ContextID = std::nullopt);
    // Closes all help windows.
    void CloseAll();

    // The help window, once it was made.
    HelpViewer* viewer() const { return m_viewer.get(); }
    // Why the last Show found nothing to show, in words.
    QString problemText() const { return m_problemText; }

private:
    std::shared_ptr<const HelpFile> fileAt(const QString& path);

    std::unique_ptr<HelpViewer> m_viewer;
    std::shared_ptr<const HelpFile> m_file;
    QString m_filePath;
    qint64 m_fileSize = -1;
    qint64 m_fileTime = 0;
    QString m_problemText;
};

}  // namespace gv
