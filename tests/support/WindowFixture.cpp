#include "support/WindowFixture.h"

#include <QCoreApplication>
#include <QDir>

#include "platform/Screen.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/TestEnvironment.h"
#include "widgets/FileListBox.h"

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

}  // namespace gvtest
