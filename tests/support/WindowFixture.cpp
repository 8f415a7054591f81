#include "support/WindowFixture.h"

#include <QCoreApplication>
#include <QDir>

#include "capture/frmCap.h"
#include "favourites/FavouriteStore.h"
#include "favourites/frmFavEd.h"
#include "files/frmBrowse.h"
#include "help/HelpViewer.h"
#include "mainwindow/FilePropertiesDialog.h"
#include "mainwindow/frmJpegQual.h"
#include "options/options.h"
#include "platform/Screen.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/TestEnvironment.h"
#include "tips/frmTips.h"
#include "widgets/FileListBox.h"
#include "widgets/ImageBox.h"

namespace gvtest {

void WindowFixture::SetUp() {
    gv::resetAppState();
    gv::overrideScreenSize(QSize(1280, 1024));
    m_folder = testFolders().home + "/Pictures";
    // Each test starts from an empty folder, also when several run in one process.
    QDir(m_folder).removeRecursively();
    QDir().mkpath(m_folder);
    gv::SaveSetting(gv::keys::kStartDir, m_folder);
}

void WindowFixture::TearDown() {
    w.reset();
    // Windows let go with deleteLater() go now, not in the next test.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    gv::overrideScreenSize(QSize());
}

void WindowFixture::open() {
    w = std::make_unique<gv::frmGlimvane>();
    ASSERT_TRUE(w->Load());
    w->resize(1000, 700);
    QCoreApplication::processEvents();
}

void WindowFixture::click(const QString& name) {
    w->RefreshFileList();
    const int row = w->File1->rowOf(name);
    ASSERT_GE(row, 0) << name.toStdString();
    w->File1->setCurrentRow(row);
}

QString WindowFixture::shown() const {
    return w->windowTitle().mid(QStringLiteral("Glimvane - ").size());
}

gv::FullScreenStart WindowFixture::fullScreenStart(const QString& name, const QRect& screen) const {
    gv::FullScreenStart start;
    start.picture = w->Image1->picture();
    start.imagePath = gv::appState().CurrentImagePath;
    start.folder = m_folder;
    start.pattern = w->filePattern();
    start.selectedName = name;
    start.screen = screen;
    return start;
}

void WindowFixture::forEachOtherWindow(const QString& name,
                                       const std::function<void(QWidget&, const char*)>& visit) {
    gv::FavouriteStore store;
    gv::frmFavEd manager(store, w.get());
    visit(manager, "favourites manager");
    gv::frmBrowse chooser(w.get());
    visit(chooser, "folder chooser");
    gv::frmTips tips(w.get());
    visit(tips, "tip window");
    gv::HelpViewer help(w.get());
    visit(help, "help viewer");
    gv::FilePropertiesDialog properties(file(name), w->Image1->picture(), w.get());
    visit(properties, "file properties");
    gv::frmJpegQual quality(w.get());
    visit(quality, "JPEG quality");
    gv::options settings(gv::OptionsHost{});
    visit(settings, "options");
    gv::frmCap setup(gv::CaptureHost{});
    visit(setup, "capture set-up");
    gv::frmFullscn viewer(fullScreenStart(name, QRect(0, 0, 1280, 1024)), gv::FullScreenHost{});
    visit(viewer, "full-screen viewer");
}

QList<ShownMessage> WindowFixture::messageBoxes() {
    QList<ShownMessage> boxes;
    for (const auto& m : m_dialogs->shown) {
        if (m.kind == "message") {
            boxes << m;
        }
    }
    return boxes;
}

}  // namespace gvtest
