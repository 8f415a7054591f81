#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <QtEndian>

#include "help/ChmArchive.h"
#include "help/HelpCommands.h"
#include "help/HelpFile.h"
#include "help/HelpViewer.h"
#include "help/clsHelp.h"
#include "platform/Paths.h"
#include "support/FakeDialogs.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

const QString kBuiltHelp = QStringLiteral(GLIMVANE_BINARY_DIR "/gv23hlp.chm");

QString installedHelp() {
    return joinPath(programFolder(), QStringLiteral("gv23hlp.chm"));
}

QByteArray builtHelpBytes() {
    QFile f(kBuiltHelp);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << "the build makes " << kBuiltHelp.toStdString();
    return f.readAll();
}

void install(const QByteArray& bytes) {
    ASSERT_TRUE(gvtest::writeBytes(installedHelp(), bytes));
}

void collect(const QList<SitemapItem>& items, QStringList& out) {
    for (const SitemapItem& item : items) {
        if (!item.local.isEmpty()) {
            out << HelpFile::normalPath(item.local);
        }
        collect(item.children, out);
    }
}

class Help : public ::testing::Test {
protected:
    gvtest::ScopedFakeDialogs m_dialogs;
};

}  // namespace

TEST_F(Help, EveryContextNumberOpensItsPage) {
    install(builtHelpBytes());
    const struct {
        quint32 context;
        const char* title;
    } kTopics[] = {
        {10001, "GIF animation and the 87a option"},
        {10008, "Setup Capture"},
        {10009, "The Favourites Manager"},
        {10012, "Options: Main"},
        {10013, "Options: Full Screen"},
        {10014, "Options: Links"},
        {10015, "Options: Editors"},
        {10016, "Options: Advanced"},
    };
    clsHelp help;
    for (const auto& topic : kTopics) {
        ShowHelpTopic(help, topic.context);
        ASSERT_NE(help.viewer(), nullptr);
        EXPECT_EQ(help.viewer()->browser->documentTitle(), QString::fromLatin1(topic.title))
            << topic.context;
    }
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    // A window opened for one topic shows it alone.
    EXPECT_FALSE(help.viewer()->navigationShown());
    help.CloseAll();
    EXPECT_FALSE(help.viewer()->isVisible());
}

TEST_F(Help, EveryLinkAndPictureOfEveryPageIsInTheFile) {
    const HelpFile file = HelpFile::fromBytes(builtHelpBytes());
    ASSERT_EQ(file.problem(), HelpFile::Problem::None);
    auto shared = std::make_shared<HelpFile>(file);
    HelpBrowser browser;
    browser.setHelpFile(shared);
    int links = 0;
    for (const QString& page : file.pages()) {
        browser.setSource(QUrl(QStringLiteral("gvhelp:") + HelpFile::normalPath(page)));
        // The targets the page really has, as the browser reads them.
        QStringList targets;
        for (QTextBlock b = browser.document()->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                    targets << format.anchorHref();
                } else if (format.isImageFormat()) {
                    const QString image = format.toImageFormat().name();
                    targets << image;
                    const QUrl url = browser.source().resolved(QUrl(image));
                    EXPECT_FALSE(QImage::fromData(*file.file(url.path())).isNull())
                        << image.toStdString();
                }
            }
        }
        EXPECT_FALSE(targets.isEmpty()) << page.toStdString();
        for (const QString& target : targets) {
            const QUrl url = browser.source().resolved(QUrl(target));
            EXPECT_EQ(url.scheme(), "gvhelp")
                << page.toStdString() << " links out: " << target.toStdString();
            EXPECT_TRUE(file.contains(url.path()))
                << page.toStdString() << " -> " << target.toStdString();
            ++links;
        }
        EXPECT_FALSE(browser.documentTitle().isEmpty()) << page.toStdString();
    }
    EXPECT_GT(links, 100);
}

TEST_F(Help, TheContentsHoldEveryPageAndNothingElse) {
    const HelpFile file = HelpFile::fromBytes(builtHelpBytes());
    QStringList listed;
    collect(file.contents(), listed);
    QStringList pages;
    for (const QString& page : file.pages()) {
        pages << HelpFile::normalPath(page);
    }
    listed.sort();
    listed.removeDuplicates();
    pages.sort();
    EXPECT_EQ(listed, pages);
    EXPECT_EQ(file.defaultTopic(), "/index.htm");
    EXPECT_EQ(file.title(), "Glimvane Help");
    QStringList indexed;
    collect(file.index(), indexed);
    for (const QString& page : indexed) {
        EXPECT_TRUE(file.contains(page)) << page.toStdString();
    }
}

TEST_F(Help, TheContentsCommandAndItsMessages) {
    clsHelp help;
    // Missing: the exact message, for the contents and for a topic alike.
    ShowHelpContents(help);
    ShowHelpTopic(help, 10008);
    ASSERT_EQ(m_dialogs->shown.size(), 2);
    for (const gvtest::ShownMessage& m : m_dialogs->shown) {
        EXPECT_EQ(m.text, "The Helpfile 'gv23hlp.chm' is missing, please reinstall Glimvane");
        EXPECT_EQ(m.title, "Help File Not Found");
        EXPECT_EQ(m.icon, MsgIcon::Critical);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
    }
    EXPECT_EQ(help.viewer(), nullptr);

    m_dialogs->shown.clear();
    install(builtHelpBytes());
    ShowHelpContents(help);
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    ASSERT_NE(help.viewer(), nullptr);
    EXPECT_TRUE(help.viewer()->isVisible());
    EXPECT_TRUE(help.viewer()->navigationShown());
    EXPECT_EQ(help.viewer()->currentTopic(), "/index.htm");
    EXPECT_EQ(help.viewer()->tvwContents->topLevelItemCount(), 4);

    // A number the file does not know: the contents, and a word why.
    ShowHelpTopic(help, 4242);
    ASSERT_EQ(m_dialogs->shown.size(), 1);
    EXPECT_EQ(m_dialogs->shown[0].title, "Help Topic Not Found");
    EXPECT_EQ(help.viewer()->currentTopic(), "/index.htm");
}

TEST_F(Help, ADamagedFileGetsItsOwnMessageAndNothingHangs) {
    const QByteArray good = builtHelpBytes();
    QByteArray flipped = good;
    for (qsizetype i = 0x60; i < flipped.size(); i += 97) {
        flipped[i] = char(flipped[i] ^ 0x5A);
    }
    const struct {
        const char* what;
        QByteArray bytes;
    } kFiles[] = {
        {"empty", QByteArray()},
        {"header only", good.left(0x60)},
        {"cut in half", good.left(good.size() / 2)},
        {"last byte missing", good.left(good.size() - 1)},
        {"bytes changed throughout", flipped},
        {"text", QByteArray("<html><body>not compiled</body></html>")},
    };
    for (const auto& f : kFiles) {
        install(f.bytes);
        clsHelp help;
        const clsHelp::Outcome outcome = help.Show(installedHelp());
        if (outcome == clsHelp::Outcome::Shown) {
            // What survives must still be a help file that shows a page.
            EXPECT_FALSE(help.viewer()->browser->toPlainText().isEmpty()) << f.what;
            continue;
        }
        EXPECT_EQ(outcome, clsHelp::Outcome::Unreadable) << f.what;
        m_dialogs->shown.clear();
        ShowHelpContents(help);
        ASSERT_EQ(m_dialogs->shown.size(), 1) << f.what;
        EXPECT_TRUE(
            m_dialogs->shown[0].text.startsWith("The Helpfile 'gv23hlp.chm' cannot be read ("))
            << m_dialogs->shown[0].text.toStdString();
        EXPECT_EQ(m_dialogs->shown[0].title, "Help File Damaged");
    }
    // Far too large: refused by its size, never read.
    install(QByteArray());
    ASSERT_EQ(
        ::truncate(QFile::encodeName(installedHelp()).constData(), HelpFile::kMaxFileBytes + 1), 0);
    EXPECT_EQ(HelpFile::load(installedHelp()).problem(), HelpFile::Problem::TooLarge);
}

TEST_F(Help, SizesThatCHMLibWouldAllocateAreCheckedFirst) {
    const QByteArray good = builtHelpBytes();
    const ChmArchive archive(good);
    ASSERT_TRUE(archive.ok());
    qint64 resetTable = -1, controlData = -1;
    const qint64 data = qFromLittleEndian<quint64>(good.constData() + 88);
    for (const ChmArchive::Entry& e : archive.entries()) {
        if (e.path.endsWith("/ResetTable")) {
            resetTable = data + qint64(e.start);
        } else if (e.path.endsWith("/ControlData")) {
            controlData = data + qint64(e.start);
        }
    }
    ASSERT_GE(resetTable, 0);
    ASSERT_GE(controlData, 0);
    const qint64 directory = qFromLittleEndian<quint64>(good.constData() + 72);
    const struct {
        const char* what;
        qint64 at;
        quint32 value;
    } kPatches[] = {
        {"a block of 3 GB", resetTable + 32, 0xB0000000u},
        {"a window of 32 MB", controlData + 16, 0x400u},
        {"directory pages of 2 GB", directory + 16, 0x7FFFFFF0u},
        {"a root page beyond the directory", directory + 28, 7u},
    };
    for (const auto& p : kPatches) {
        QByteArray bytes = good;
        qToLittleEndian<quint32>(p.value, bytes.data() + p.at);
        EXPECT_FALSE(ChmArchive(bytes).ok()) << p.what;
        EXPECT_EQ(HelpFile::fromBytes(bytes).problem(), HelpFile::Problem::Damaged) << p.what;
    }
}

TEST_F(Help, SearchAndIndexFindTheirPages) {
    install(builtHelpBytes());
    clsHelp help;
    ASSERT_EQ(help.Show(installedHelp()), clsHelp::Outcome::Shown);
    HelpViewer& v = *help.viewer();
    v.search(QStringLiteral("MiniBrowser pin"));
    ASSERT_GE(v.lstTopics->count(), 1);
    EXPECT_EQ(v.lstTopics->item(0)->text(), "The full-screen viewer and the MiniBrowser");
    v.search(QStringLiteral("TRASH"));
    EXPECT_GE(v.lstTopics->count(), 3);
    v.search(QStringLiteral("MiniBrowser zzqx"));
    EXPECT_EQ(v.lstTopics->count(), 0);
    EXPECT_EQ(v.lblFound->text(), "No topics found.");
    v.search(QStringLiteral("pin MiniBrowser"));
    ASSERT_GE(v.lstTopics->count(), 1);
    v.cmdSearchDisplay->click();
    EXPECT_EQ(v.currentTopic(), "/fullscreen.htm");
    EXPECT_TRUE(v.browser->textCursor().hasSelection());
    // Back and forward go through the pages seen.
    v.cmdBack->click();
    EXPECT_EQ(v.currentTopic(), "/index.htm");
    v.cmdForward->click();
    EXPECT_NE(v.currentTopic(), "/index.htm");

    v.txtIndex->setText(QStringLiteral("wall"));
    Q_EMIT v.txtIndex->textEdited(v.txtIndex->text());
    ASSERT_NE(v.lstIndex->currentItem(), nullptr);
    EXPECT_EQ(v.lstIndex->currentItem()->text(), "Wallpaper");
    v.cmdIndexDisplay->click();
    EXPECT_EQ(v.currentTopic(), "/clipboard.htm");
}

TEST_F(Help, HelpOpenedFromAModalWindowBelongsToIt) {
    install(builtHelpBytes());
    clsHelp help;
    QDialog dialog;
    QWindow* owner = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        ShowHelpTopic(help, 10015, &dialog);
        owner = help.viewer()->windowHandle()->transientParent();
        dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(owner, dialog.windowHandle());
    EXPECT_EQ(help.viewer()->browser->documentTitle(), "Options: Editors");
}

TEST(HelpMarkup, SitemapsAsTheyComeAndAsTheyBreak) {
    const auto item = [](const char* name, const char* local) {
        return QByteArray("<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"") +
               name + "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>";
    };
    const QList<SitemapItem> nested =
        parseSitemap("<UL>" + item("A &amp; B", "a.htm") + "<UL>" + item("Child", "sub/c.htm") +
                     "</UL>" + item("Next", "n.htm#part") + "</UL>");
    ASSERT_EQ(nested.size(), 2);
    EXPECT_EQ(nested[0].name, "A & B");
    ASSERT_EQ(nested[0].children.size(), 1);
    EXPECT_EQ(nested[0].children[0].local, "sub/c.htm");
    EXPECT_EQ(nested[1].local, "n.htm#part");

    // Unclosed lists, a list before any item, stray ends, an unterminated comment.
    const QList<SitemapItem> broken =
        parseSitemap("</UL></UL><UL><UL>" + item("Top", "t.htm") + "<UL>" + item("Deep", "d.htm") +
                     "<!-- and never closed " + item("Hidden", "h.htm"));
    ASSERT_EQ(broken.size(), 1);
    EXPECT_EQ(broken[0].name, "Top");
    ASSERT_EQ(broken[0].children.size(), 1);

    // Nesting beyond the limit stays at the limit.
    QByteArray deep;
    for (int i = 0; i < 1000; ++i) {
        deep += "<UL>" + item("x", "x.htm");
    }
    QList<SitemapItem> level = parseSitemap(deep);
    int depth = 0;
    while (!level.isEmpty()) {
        ++depth;
        level = level.last().children;
    }
    EXPECT_EQ(depth, kMaxSitemapDepth);
    EXPECT_EQ(decodeEntities(QStringLiteral("&lt;&#65;&#x42;&bogus;&#0;&")), "<AB&bogus;&#0;&");
}
