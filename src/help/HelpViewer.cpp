#include "help/HelpViewer.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "help/HelpFile.h"
#include "platform/Controls.h"
#include "platform/Desktop.h"

namespace gv {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr const char* kMissingTopic =
    "<html><head><title>Topic not found</title></head><body><h1>Topic not found</h1>"
    "<p>The help file has no page \"%1\".</p></body></html>";

QUrl topicUrl(const QString& path) {
    QUrl url;
    url.setScheme(QString::fromLatin1(HelpBrowser::kScheme));
    const qsizetype hash = path.indexOf(u'#');
    url.setPath(HelpFile::normalPath(hash < 0 ? path : path.left(hash)));
    if (hash >= 0) {
        url.setFragment(path.mid(hash + 1));
    }
    return url;
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& text,
                        QStyle::StandardPixmap icon) {
    auto* b = named(new QToolButton(parent), name);
    b->setText(text);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setAccessibleName(text);
    return b;
}

}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("browser"));
    setAccessibleName(QStringLiteral("Topic"));
    // Links are followed here: help pages stay in the window, web addresses go to the desktop.
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& given) {
    // Pictures of a page come by the name the page gives them.
    const QUrl name = given.isRelative() ? source().resolved(given) : given;
    if (name.scheme() != QLatin1String(kScheme) || !m_file) {
        return QVariant();
    }
    const std::optional<QByteArray> bytes = m_file->file(name.path());
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource) {
        if (!bytes) {
            return type == QTextDocument::HtmlResource
                       ? QVariant(
                             QString::fromLatin1(kMissingTopic).arg(name.path().toHtmlEscaped()))
                       : QVariant();
        }
        return decodeHelpText(*bytes);
    }
    if (type == QTextDocument::ImageResource && bytes) {
        return QImage::fromData(*bytes);
    }
    return QVariant();
}

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* toolbar = new QHBoxLayout;
    cmdHide = toolButton(this, "cmdHide", QStringLiteral("Hide"), QStyle::SP_ArrowLeft);
    cmdBack = toolButton(this, "cmdBack", QStringLiteral("Back"), QStyle::SP_ArrowBack);
    cmdForward = toolButton(this, "cmdForward", QStringLiteral("Forward"), QStyle::SP_ArrowForward);
    cmdHome = toolButton(this, "cmdHome", QStringLiteral("Home"), QStyle::SP_DirHomeIcon);
    for (QToolButton* b : {cmdHide, cmdBack, cmdForward, cmdHome}) {
        toolbar->addWidget(b);
    }
    toolbar->addStretch();
    layout->addLayout(toolbar);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    tabNavigation = named(new QTabWidget(m_splitter), "tabNavigation");
    // The tab control has no caption of its own; its pages carry theirs.
    tabNavigation->setAccessibleName(QStringLiteral("Navigation"));

    tvwContents = named(new QTreeWidget, "tvwContents");
    tvwContents->setHeaderHidden(true);
    tvwContents->setAccessibleName(QStringLiteral("Contents"));
    tabNavigation->addTab(tvwContents, QStringLiteral("&Contents"));

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    auto* indexPrompt = new QLabel(QStringLiteral("Type in the &keyword to find:"), indexPage);
    txtIndex = named(new QLineEdit(indexPage), "txtIndex");
    txtIndex->setAccessibleName(QStringLiteral("Type in the keyword to find:"));
    indexPrompt->setBuddy(txtIndex);
    lstIndex = named(new QListWidget(indexPage), "lstIndex");
    lstIndex->setAccessibleName(QStringLiteral("Keywords"));
    cmdIndexDisplay =
        named(new QPushButton(QStringLiteral("&Display"), indexPage), "cmdIndexDisplay");
    indexLayout->addWidget(indexPrompt);
    indexLayout->addWidget(txtIndex);
    indexLayout->addWidget(lstIndex);
    indexLayout->addWidget(cmdIndexDisplay, 0, Qt::AlignRight);
    tabNavigation->addTab(indexPage, QStringLiteral("I&ndex"));

    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    auto* searchPrompt =
        new QLabel(QStringLiteral("Type in the &word(s) to search for:"), searchPage);
    txtSearch = named(new QLineEdit(searchPage), "txtSearch");
    txtSearch->setAccessibleName(QStringLiteral("Type in the word(s) to search for:"));
    searchPrompt->setBuddy(txtSearch);
    cmdListTopics =
        named(new QPushButton(QStringLiteral("&List Topics"), searchPage), "cmdListTopics");
    lblFound = named(new QLabel(searchPage), "lblFound");
    lstTopics = named(new QListWidget(searchPage), "lstTopics");
    lstTopics->setAccessibleName(QStringLiteral("Topics found"));
    cmdSearchDisplay =
        named(new QPushButton(QStringLiteral("D&isplay"), searchPage), "cmdSearchDisplay");
    searchLayout->addWidget(searchPrompt);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(txtSearch, 1);
    searchRow->addWidget(cmdListTopics);
    searchLayout->addLayout(searchRow);
    searchLayout->addWidget(lblFound);
    searchLayout->addWidget(lstTopics);
    searchLayout->addWidget(cmdSearchDisplay, 0, Qt::AlignRight);
    tabNavigation->addTab(searchPage, QStringLiteral("&Search"));

    browser = new HelpBrowser(m_splitter);
    m_splitter->addWidget(tabNavigation);
    m_splitter->addWidget(browser);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({240, 560});
    layout->addWidget(m_splitter, 1);
    resize(860, 620);

    connect(cmdHide, &QToolButton::clicked, this,
            [this] { setNavigationShown(!navigationShown()); });
    connect(cmdBack, &QToolButton::clicked, browser, &QTextBrowser::backward);
    connect(cmdForward, &QToolButton::clicked, browser, &QTextBrowser::forward);
    connect(cmdHome, &QToolButton::clicked, this, [this] { showTopic(QString()); });
    connect(browser, &QTextBrowser::backwardAvailable, cmdBack, &QWidget::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, cmdForward, &QWidget::setEnabled);
    connect(browser, &QTextBrowser::anchorClicked, this, &HelpViewer::openLink);
    connect(browser, &QTextBrowser::sourceChanged, this, &HelpViewer::sourceChanged);
    connect(tvwContents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(0, kPathRole).toString();
        if (!path.isEmpty()) {
            showTopic(path);
        }
    });
    connect(tvwContents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(0, kPathRole).toString();
        if (!path.isEmpty()) {
            showTopic(path);
        }
    });
    // A tab chosen by its key takes the typing at once.
    connect(tabNavigation, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab == 1) {
            txtIndex->setFocus();
        } else if (tab == 2) {
            txtSearch->setFocus();
        }
    });
    connect(txtIndex, &QLineEdit::textEdited, this, &HelpViewer::followIndexText);
    connect(txtIndex, &QLineEdit::returnPressed, this,
            [this] { openIndexItem(lstIndex->currentItem()); });
    connect(lstIndex, &QListWidget::itemActivated, this, &HelpViewer::openIndexItem);
    connect(cmdIndexDisplay, &QPushButton::clicked, this,
            [this] { openIndexItem(lstIndex->currentItem()); });
    connect(txtSearch, &QLineEdit::returnPressed, this, [this] { search(txtSearch->text()); });
    connect(cmdListTopics, &QPushButton::clicked, this, [this] { search(txtSearch->text()); });
    connect(lstTopics, &QListWidget::itemActivated, this, &HelpViewer::openFoundItem);
    connect(cmdSearchDisplay, &QPushButton::clicked, this,
            [this] { openFoundItem(lstTopics->currentItem()); });
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);
}

HelpViewer::~HelpViewer() = default;

void HelpViewer::setHelpFile(std::shared_ptr<const HelpFile> file) {
    m_file = std::move(file);
    browser->setHelpFile(m_file);
    browser->clearHistory();
    setWindowTitle(m_file->title().isEmpty() ? QStringLiteral("Glimvane Help") : m_file->title());
    tvwContents->clear();
    fillContents(nullptr, m_file->contents(), 0);
    tvwContents->expandToDepth(0);
    fillIndex();
    txtSearch->clear();
    lstTopics->clear();
    lblFound->clear();
}

void HelpViewer::fillContents(QTreeWidgetItem* parent, const QList<SitemapItem>& items, int depth) {
    for (const SitemapItem& entry : items) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvwContents);
        item->setText(0, entry.name.isEmpty() ? entry.local : entry.name);
        item->setData(0, kPathRole, entry.local.isEmpty() ? QString() : u'/' + entry.local);
        const bool book = !entry.children.isEmpty();
        item->setIcon(0, style()->standardIcon(book ? QStyle::SP_DirIcon : QStyle::SP_FileIcon));
        if (depth + 1 < kMaxSitemapDepth) {
            fillContents(item, entry.children, depth + 1);
        }
    }
}

void HelpViewer::fillIndex() {
    lstIndex->clear();
    const auto add = [this](const auto& self, const QList<SitemapItem>& items,
                            const QString& prefix) -> void {
        for (const SitemapItem& entry : items) {
            auto* item = new QListWidgetItem(prefix + entry.name, lstIndex);
            item->setData(kPathRole, entry.local.isEmpty() ? QString() : u'/' + entry.local);
            self(self, entry.children, prefix + QStringLiteral("    "));
        }
    };
    add(add, m_file->index(), QString());
}

void HelpViewer::showTopic(const QString& path) {
    if (!m_file) {
        return;
    }
    const QString topic = path.isEmpty() ? m_file->defaultTopic() : path;
    const QUrl url = topicUrl(topic);
    if (url == browser->source()) {
        // The same page again: back at its top or its anchor.
        if (url.hasFragment()) {
            browser->scrollToAnchor(url.fragment());
        }
        return;
    }
    browser->setSource(url, QTextDocument::HtmlResource);
}

void HelpViewer::setNavigationShown(bool shown) {
    tabNavigation->setVisible(shown);
    cmdHide->setText(shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
    cmdHide->setAccessibleName(cmdHide->text());
    cmdHide->setIcon(style()->standardIcon(shown ? QStyle::SP_ArrowLeft : QStyle::SP_ArrowRight));
}

bool HelpViewer::navigationShown() const {
    return !tabNavigation->isHidden();
}

void HelpViewer::search(const QString& query) {
    setNavigationShown(true);
    tabNavigation->setCurrentIndex(2);
    if (txtSearch->text() != query) {
        txtSearch->setText(query);
    }
    lstTopics->clear();
    if (!m_file) {
        return;
    }
    const QStringList pages = m_file->search(query);
    for (const QString& page : pages) {
        const QString title = m_file->pageTitle(page);
        auto* item = new QListWidgetItem(title.isEmpty() ? page : title, lstTopics);
        item->setData(kPathRole, page);
    }
    lblFound->setText(pages.isEmpty()     ? QStringLiteral("No topics found.")
                      : pages.size() == 1 ? QStringLiteral("1 topic found.")
                                          : QStringLiteral("%1 topics found.").arg(pages.size()));
    if (!pages.isEmpty()) {
        lstTopics->setCurrentRow(0);
    }
}

QString HelpViewer::currentTopic() const {
    return browser->source().path();
}

void HelpViewer::openLink(const QUrl& url) {
    if (url.scheme() == QLatin1String(HelpBrowser::kScheme)) {
        showTopic(url.path() + (url.hasFragment() ? u'#' + url.fragment() : QString()));
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        openDocument(url.toString());
    }
}

void HelpViewer::openIndexItem(QListWidgetItem* item) {
    if (item && !item->data(kPathRole).toString().isEmpty()) {
        showTopic(item->data(kPathRole).toString());
    }
}

void HelpViewer::openFoundItem(QListWidgetItem* item) {
    if (!item) {
        return;
    }
    m_highlight = txtSearch->text().simplified().section(u' ', 0, 0);
    showTopic(item->data(kPathRole).toString());
    if (!m_highlight.isEmpty()) {
        browser->moveCursor(QTextCursor::Start);
        browser->find(m_highlight);
        m_highlight.clear();
    }
}

void HelpViewer::followIndexText(const QString& text) {
    for (int row = 0; row < lstIndex->count(); ++row) {
        if (lstIndex->item(row)->text().trimmed().startsWith(text.trimmed(), Qt::CaseInsensitive)) {
            lstIndex->setCurrentRow(row);
            lstIndex->scrollToItem(lstIndex->item(row), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void HelpViewer::sourceChanged(const QUrl& url) {
    // The contents follow the page shown, as far as it is in them.
    const QString shown = url.path();
    QTreeWidgetItemIterator it(tvwContents);
    while (*it) {
        const QString path = (*it)->data(0, kPathRole).toString();
        if (!path.isEmpty() && HelpFile::normalPath(path.section(u'#', 0, 0)) == shown) {
            const QSignalBlocker block(tvwContents);
            tvwContents->setCurrentItem(*it);
            return;
        }
        ++it;
    }
}

}  // namespace gv
