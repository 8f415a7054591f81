#pragma once
// The help window: the pages of one help file beside its contents, index and full-text
// search, with back, forward and home, as a reader of compiled help expects.

#include <QTextBrowser>
#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace gv {

class HelpFile;
struct SitemapItem;

// Pages and pictures come from the help file, addressed as "gvhelp:/page.htm".
class HelpBrowser final : public QTextBrowser {
    Q_OBJECT
public:
    static constexpr const char* kScheme = "gvhelp";
    explicit HelpBrowser(QWidget* parent = nullptr);
    void setHelpFile(std::shared_ptr<const HelpFile> file) { m_file = std::move(file); }
    QVariant loadResource(int type, const QUrl& name) override;

private:
    std::shared_ptr<const HelpFile> m_file;
};

class HelpViewer final : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);
    ~HelpViewer() override;

    // The file whose pages are shown; the history starts again.
    void setHelpFile(std::shared_ptr<const HelpFile> file);
    const HelpFile* helpFile() const { return m_file.get(); }
    // A page of the file ("/capture.htm", "/capture.htm#keys"); the default topic when empty.
    void showTopic(const QString& path);
    // The navigation pane beside the page; a window opened for one topic starts without it.
    void setNavigationShown(bool shown);
    bool navigationShown() const;
    // Lists the pages that hold every word of the query on the Search tab.
    void search(const QString& query);
    // The page shown, as "/name.htm".
    QString currentTopic() const;

    QToolButton *cmdHide = nullptr, *cmdBack = nullptr, *cmdForward = nullptr, *cmdHome = nullptr;
    QTabWidget* tabNavigation = nullptr;
    QTreeWidget* tvwContents = nullptr;
    QLineEdit* txtIndex = nullptr;
    QListWidget* lstIndex = nullptr;
    QPushButton* cmdIndexDisplay = nullptr;
    QLineEdit* txtSearch = nullptr;
    QPushButton* cmdListTopics = nullptr;
    QLabel* lblFound = nullptr;
    QListWidget* lstTopics = nullptr;
    QPushButton* cmdSearchDisplay = nullptr;
    HelpBrowser* browser = nullptr;

private:
    void fillContents(QTreeWidgetItem* parent, const QList<SitemapItem>& items, int depth);
    void fillIndex();
    void openLink(const QUrl& url);
    void openIndexItem(QListWidgetItem* item);
    void openFoundItem(QListWidgetItem* item);
    void followIndexText(const QString& text);
    void sourceChanged(const QUrl& url);

    std::shared_ptr<const HelpFile> m_file;
    QSplitter* m_splitter = nullptr;
    QString m_highlight;  // a searched word to find on the page the search opens
};

}  // namespace gv
