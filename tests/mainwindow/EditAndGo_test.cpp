// The main window's Edit and Go menus: the data-file menus at load and exit, editors,
// the clipboard and the web sites.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "external/Dialog.h"
#include "external/clsShIntegration.h"
#include "external/clsVarMenus.h"
#include "platform/Controls.h"
#include "platform/Paths.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"
#include "support/TestEnvironment.h"
#include "support/UrlRecorder.h"
#include "support/WindowFixture.h"
#include "widgets/ImageBox.h"

using namespace gv;

namespace {

class EditAndGo : public gvtest::WindowFixture {
protected:
    static void write(const QString& name, const QByteArray& bytes) {
        ASSERT_TRUE(gvtest::writeBytes(joinPath(programFolder(), name), bytes));
    }
    static QByteArray read(const QString& name) {
        return gvtest::readBytes(joinPath(programFolder(), name));
    }
};

}  // namespace

TEST_F(EditAndGo, DataFileMenusLoadAtStartAndTwoAreSavedAtExit) {
    write("GVEditors.dat", "/usr/bin/true<name>True Paint\r\n");
    write("GVImgwebs.dat", "http://a.example<name>A\r\nhttp://b.example<name>B\r\n");
    write("GVSetwebs.dat", "http://v.example<name>V\r\n");
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), gvtest::quadrantImage({64, 48})));
    open();
    EXPECT_EQ(menuCaption(w->mnuEditors[0]), "True Paint");
    EXPECT_EQ(w->mnuMyWebs.size(), 2);
    EXPECT_EQ(w->mnuImgWebs[0]->data().toString(), "http://v.example");
    // "Edit Image with" needs a shown file.
    Q_EMIT w->mnuEdit->aboutToShow();
    EXPECT_FALSE(w->mnuEditor->menuAction()->isEnabled());
    click("pic.png");
    Q_EMIT w->mnuEdit->aboutToShow();
    EXPECT_TRUE(w->mnuEditor->menuAction()->isEnabled());

    bool fail = false;
    w->myWebMenus()->AddItem("C", "http://c.example", fail);
    w->editorMenus()->DelMenuItem(0);
    w->imgWebMenus()->DelMenuItem(0);
    w->close();
    EXPECT_EQ(read("GVEditors.dat"), "<missing>");
    EXPECT_EQ(read("GVImgwebs.dat"),
              "http://a.example<name>A\r\nhttp://b.example<name>B\r\nhttp://c.example<name>C\r\n");
    EXPECT_EQ(read("GVSetwebs.dat"), "http://v.example<name>V\r\n");
}

TEST_F(EditAndGo, TheFirstStartOffersTheEditorsInstalledOnTheDesktop) {
    const QString applications = gvtest::testFolders().data + "/applications";
    QDir().mkpath(applications);
    QFile entry(applications + "/org.gimp.GIMP.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=GNU Image Manipulation Program\nExec=gimp %U\n");
    entry.close();
    open();
    ASSERT_EQ(w->editorMenus()->entries().size(), 1);
    EXPECT_EQ(menuCaption(w->mnuEditors[0]), "GIMP");
    EXPECT_EQ(w->mnuEditors[0]->data().toString(), entry.fileName());
    // Once offered, an editors list the user emptied stays empty.
    w->editorMenus()->DelMenuItem(0);
    w->close();
    open();
    EXPECT_TRUE(w->editorMenus()->entries().isEmpty());
}

TEST_F(EditAndGo, AnEmptyMakersListOffersTheUpdate) {
    open();
    Q_EMIT w->mnuGoItem->aboutToShow();
    EXPECT_FALSE(w->mnuMyWeb->menuAction()->isEnabled());
    EXPECT_EQ(w->mnuImgWebs[0]->text(), "Update...");
    w->RebuildTrayGoMenu();
    EXPECT_EQ(w->mnuImgWebs2[0]->text(), "Update...");
    w->mnuImgWebs2[0]->trigger();
    ASSERT_EQ(m_dialogs->shown.size(), 1);
    EXPECT_EQ(m_dialogs->shown[0].title, "Glimvane Update cannot launch!");

    // A list the update program wrote since shows at the next opening, in the tray too.
    write("GVSetwebs.dat", "http://v.example<name>V\r\nhttp://w.example<name>W\r\n");
    Q_EMIT w->mnuGoItem->aboutToShow();
    w->RebuildTrayGoMenu();
    EXPECT_EQ(w->mnuImgWebs2[1]->data().toString(), "http://w.example");
}

TEST_F(EditAndGo, CopyPasteAndClear) {
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), gvtest::quadrantImage({300, 200})));
    ASSERT_TRUE(gvtest::writePng(file("ico.png"), gvtest::quadrantImage({16, 16})));
    open();
    click("pic.png");
    w->mnuNormal->trigger();
    w->mnuCrop->trigger();
    QTest::mousePress(w->Image1, Qt::LeftButton, {}, QPoint(10, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(130, 100),
                     w->Image1->mapToGlobal(QPointF(130, 100)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w->Image1, &move);
    QTest::mouseRelease(w->Image1, Qt::LeftButton, {}, QPoint(130, 100));
    w->mnuCopy->trigger();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(120, 80));
    EXPECT_EQ(copied.pixel(0, 0), w->Image1->shownImage().pixel(10, 20));

    // Paste over a file image replaces it at once; over an unsaved one it asks first.
    Q_EMIT w->mnuEdit->aboutToShow();
    ASSERT_TRUE(w->mnuPaste->isEnabled());
    w->mnuPaste->trigger();
    EXPECT_FALSE(appState().ImageIsSaved);
    EXPECT_EQ(shown(), "Unsaved Image");
    m_dialogs->messageAnswers << MsgAnswer::Cancel;
    w->mnuPaste->trigger();
    EXPECT_EQ(m_dialogs->titles(), QStringList({"Save Image?"}));

    // A metafile goes over as itself and comes back as a metafile.
    ASSERT_TRUE(gvtest::writeBytes(file("m.emf"), gvtest::sampleEmf()));
    m_dialogs->messageAnswers << MsgAnswer::No;
    click("m.emf");
    w->mnuCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data("image/emf"), gvtest::sampleEmf());
    auto* metafileOnly = new QMimeData;
    metafileOnly->setData("image/x-emf", gvtest::sampleEmf());
    QApplication::clipboard()->setMimeData(metafileOnly);
    w->mnuPaste->trigger();
    EXPECT_EQ(w->Image1->picture().kind(), PictureKind::EnhancedMetafile);

    w->mnuClear->trigger();
    Q_EMIT w->mnuEdit->aboutToShow();
    EXPECT_FALSE(w->mnuPaste->isEnabled());
    // An icon cannot be copied from the Edit menu.
    w->Text1->setText("ico");
    EXPECT_FALSE(w->mnuCopy->isEnabled());
}

// The tray's "Copy Image" copies the whole picture, an icon's too; only a double-click on the
// tray icon makes it follow the Edit menu's "Copy", the right button leaves it as it is.
TEST_F(EditAndGo, TheTraysCopyImageFollowsCopyOnADoubleClickOnly) {
    const QImage icon = gvtest::quadrantImage({32, 32});
    ASSERT_TRUE(gvtest::writeIco(file("app.ico"), {icon}));
    ASSERT_TRUE(gvtest::writePng(file("pic.png"), gvtest::quadrantImage({40, 30})));
    open();
    w->show();
    click("app.ico");
    ASSERT_FALSE(w->mnuCopy->isEnabled());
    TrayIcon* tray = w->trayIcon();
    const auto rightClick = [&] {
        QTimer::singleShot(0, w->mnuTrayhost, &QMenu::close);
        tray->activated(TrayIcon::Activation::Context);
        QCoreApplication::processEvents();
    };
    rightClick();
    ASSERT_TRUE(w->mnuCopyImg->isEnabled());
    w->mnuCopyImg->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(32, 32));
    // A double-click matches it to "Copy" (and hides the window); the right button keeps that.
    tray->activated(TrayIcon::Activation::DoubleClick);
    EXPECT_FALSE(w->mnuCopyImg->isEnabled());
    w->showNormal();
    click("pic.png");
    ASSERT_TRUE(w->mnuCopy->isEnabled());
    rightClick();
    EXPECT_FALSE(w->mnuCopyImg->isEnabled());
}

TEST_F(EditAndGo, BrowserPagesAndManualLinksJoinTheUsersSites) {
    open();
    w->shellIntegration() = clsShIntegration(
        [] {
            return QList<DesktopWindow>{{7, "Photos - Mozilla Firefox", 70}};
        },
        [](const DesktopWindow&) { return QStringLiteral("http://photos.example/"); });
    Q_EMIT w->mnuGoItem->aboutToShow();
    EXPECT_FALSE(w->mnuLink[1]->isVisible());
    EXPECT_EQ(menuCaption(w->mnuLink[0]), "Photos");
    SaveSetting(keys::kPromptWnm, "True");
    m_dialogs->inputAnswers << " My Photos ";
    w->mnuLink[0]->trigger();
    EXPECT_EQ(w->myWebMenus()->caption(0), "My Photos");
    EXPECT_EQ(w->myWebMenus()->tag(0), "http://photos.example/");

    // By hand: the address left at "http://" is refused, then a name and address are added.
    m_dialogs->modalScripts << [](QDialog& d) {
        auto& dialog = static_cast<Dialog&>(d);
        dialog.txtWebName->setText("Art");
        dialog.cmdAddLink->click();
        dialog.Text1->setText("http://art.example");
        QTest::keyClick(dialog.Text1, Qt::Key_Return);
        return dialog.result();
    };
    w->mnuAddlnkManually->trigger();
    EXPECT_EQ(m_dialogs->titles(), QStringList({"Website Name", "Manually Add Link", "Enter URL"}));
    EXPECT_EQ(w->myWebMenus()->caption(1), "Art");

    // The second browser's page: the item shows its title (a number stays when it is all
    // there is), never the address.
    w->shellIntegration() = clsShIntegration(
        [] { return QList<DesktopWindow>{{8, "2024 - Chromium", 80}}; },
        [](const DesktopWindow&) { return QStringLiteral("http://numbers.example/"); });
    Q_EMIT w->mnuGoItem->aboutToShow();
    EXPECT_TRUE(w->mnuLink[1]->isVisible());
    EXPECT_EQ(menuCaption(w->mnuLink[1]), "2024");
    EXPECT_EQ(w->mnuLink[1]->data().toString(), "http://numbers.example/");
}

// The user's sites open through the desktop whatever their scheme; an address that would
// start a program is refused with a message.
TEST_F(EditAndGo, SitesOpenThroughTheDesktopButNeverStartAProgram) {
    ASSERT_TRUE(gvtest::writeBytes(file("editor.desktop"), "[Desktop Entry]\nExec=xterm\n"));
    write("GVImgwebs.dat", "mailto:art@example.org<name>Write to us\r\n" +
                               file("editor.desktop").toUtf8() + "<name>Gallery\r\n");
    gvtest::UrlRecorder desktop({"mailto", "file", "http", "https"});
    open();
    w->mnuMyWebs[0]->trigger();
    EXPECT_EQ(desktop.opened, QList<QUrl>{QUrl("mailto:art@example.org")});
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
    w->mnuMyWebs[1]->trigger();
    EXPECT_EQ(desktop.opened.size(), 1);
    ASSERT_TRUE(m_dialogs->showedOne(
        {.text = "The address '" + file("editor.desktop") +
                 "' names a program on this computer, not a web site or a document. Glimvane "
                 "does not start programs from its lists of sites.",
         .icon = MsgIcon::Exclamation}));
}
