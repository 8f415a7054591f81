#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>

#include "favourites/frmFavEd.h"
#include "fullscreen/frmFullscn.h"
#include "help/HelpViewer.h"
#include "help/clsHelp.h"
#include "options/options.h"
#include "platform/Controls.h"
#include "platform/Paths.h"
#include "settings/SettingKeys.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "support/WindowFixture.h"
#include "tips/Tips.h"
#include "tips/frmTips.h"
#include "widgets/FileListBox.h"

using namespace gv;

namespace {

// Stands in for the desktop's viewer of local files.
class OpenedFiles final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_SLOT void open(const QUrl& url) { urls << url; }
};

void installBuilt(const char* name) {
    const QString to = joinPath(programFolder(), QString::fromLatin1(name));
    QFile::remove(to);
    ASSERT_TRUE(QFile::copy(QStringLiteral(GLIMVANE_BINARY_DIR "/") + name, to)) << name;
}

class HelpAndTips : public gvtest::WindowFixture {
protected:
    QString helpTitle() const {
        clsHelp* help = w->helpWindows();
        return help && help->viewer() && help->viewer()->isVisible()
                   ? help->viewer()->browser->documentTitle()
                   : QString();
    }
};

}  // namespace

TEST_F(HelpAndTips, AFirstStartAsksItsQuestionsAndShowsATip) {
    installBuilt("GVTIPS.GVR");
    // With the program's file there, a first start asks about the desktop icons too.
    ASSERT_TRUE(gvtest::writeBytes(programPath(), {}));
    m_dialogs->messageAnswers.enqueue(MsgAnswer::No);
    open();
    ASSERT_FALSE(m_dialogs->shown.isEmpty());
    EXPECT_EQ(m_dialogs->shown.last().text, "Add a desktop icon for Glimvane and Glimvane Update?");
    frmTips* tips = w->tips()->window();
    ASSERT_NE(tips, nullptr);
    EXPECT_TRUE(tips->isVisible());
    EXPECT_EQ(tips->parentWidget(), w.get());
    const QByteArray file = gvtest::readBytes(QStringLiteral(GLIMVANE_BINARY_DIR "/GVTIPS.GVR"));
    EXPECT_TRUE(QString::fromUtf8(file).split('\n').contains(tips->lblTipText->text()));
    EXPECT_TRUE(tips->chkLoadTipsAtStartup->isChecked());
    for (QAction* a : {w->mnuHelpcont, w->mnuReadme, w->mnuTips}) {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_TRUE(w->Toolbar[8]->isEnabled());
    // Closing the main window closes the tip window with it.
    w->mnuExit->trigger();
    EXPECT_EQ(w->tips(), nullptr);
}

TEST_F(HelpAndTips, TheTipsCommandTurnsTheStartUpTipOnAndOff) {
    SaveSetting(keys::kShowTips, QStringLiteral("0"));
    open();
    EXPECT_TRUE(w->tips() == nullptr || w->tips()->window() == nullptr);
    EXPECT_FALSE(w->mnuTips->isChecked());
    w->mnuTips->trigger();
    EXPECT_EQ(GetSetting(keys::kShowTips), "1");
    ASSERT_NE(w->tips()->window(), nullptr);
    EXPECT_TRUE(w->tips()->window()->isVisible());
    EXPECT_TRUE(w->tips()->window()->chkLoadTipsAtStartup->isChecked());
    w->mnuTips->trigger();
    EXPECT_EQ(GetSetting(keys::kShowTips), "0");
    EXPECT_FALSE(w->tips()->window()->chkLoadTipsAtStartup->isChecked());
    // Either way the commands of a shown picture are off, as when none is shown.
    for (QAction* a : {w->mnuStatus, w->mnuBackCol->menuAction(), w->mnuFullscrn}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_FALSE(w->Toolbar[5]->isEnabled());
    EXPECT_FALSE(w->Toolbar[6]->isEnabled());
}

TEST_F(HelpAndTips, ReadMeOpensInTheDesktopsViewerOrSaysItIsMissing) {
    SaveSetting(keys::kShowTips, QStringLiteral("0"));
    OpenedFiles opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    open();
    w->mnuReadme->trigger();
    ASSERT_TRUE(m_dialogs->showedOne({.text = "The Readme file (Readme.txt) was not found!",
                                      .title = "File not found",
                                      .icon = MsgIcon::Exclamation}));
    EXPECT_TRUE(opened.urls.isEmpty());

    installBuilt("Readme.txt");
    w->mnuReadme->trigger();
    EXPECT_EQ(m_dialogs->shown.size(), 1);
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(joinPath(programFolder(), "Readme.txt")));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST_F(HelpAndTips, EveryHelpButtonOpensItsTopic) {
    SaveSetting(keys::kShowTips, QStringLiteral("0"));
    installBuilt("gv23hlp.chm");
    open();
    w->Toolbar[8]->click();
    EXPECT_EQ(helpTitle(), "Glimvane Help");

    // The options dialog's Help, on the Editors tab.
    m_dialogs->modalScripts.enqueue([this](QDialog& d) {
        auto& dialog = static_cast<options&>(d);
        dialog.Tabs->setCurrentIndex(3);
        dialog.cmdHelp->click();
        EXPECT_EQ(helpTitle(), "Options: Editors");
        return int(QDialog::Rejected);
    });
    w->mnuOptions->trigger();
    m_dialogs->modalScripts.enqueue([this](QDialog& d) {
        static_cast<frmFavEd&>(d).cmdHelp->click();
        EXPECT_EQ(helpTitle(), "The Favourites Manager");
        return int(QDialog::Rejected);
    });
    w->mnuFavMan->trigger();
    m_dialogs->modalScripts.enqueue([this](QDialog& d) {
        auto& viewer = static_cast<frmFullscn&>(d);
        EXPECT_TRUE(viewer.mnuContents->isEnabled());
        w->helpWindows()->CloseAll();
        viewer.mnuContents->trigger();
        EXPECT_EQ(helpTitle(), "Glimvane Help");
        return int(QDialog::Rejected);
    });
    w->ShowLogo();
    w->mnuFullscrn->setEnabled(true);
    w->mnuFullscrn->trigger();
    EXPECT_TRUE(m_dialogs->modalScripts.isEmpty());

    // The first 87a GIF: Yes shows the page on GIF animation.
    static const unsigned char kGif87a[] = {
        'G',  'I',  'F', '8', '7', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0, 0, 0xFF, 0xFF,
        0xFF, 0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, 0x3B};
    ASSERT_TRUE(gvtest::writeBytes(
        file("old.gif"), QByteArray(reinterpret_cast<const char*>(kGif87a), sizeof kGif87a)));
    w->helpWindows()->CloseAll();
    m_dialogs->shown.clear();
    m_dialogs->messageAnswers.enqueue(MsgAnswer::Yes);
    click("old.gif");
    ASSERT_EQ(m_dialogs->shown.size(), 1);
    EXPECT_EQ(m_dialogs->shown[0].title, "GIF 87a Support");
    EXPECT_EQ(helpTitle(), "GIF animation and the 87a option");
}

#include "HelpAndTips_test.moc"
