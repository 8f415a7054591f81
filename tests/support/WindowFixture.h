#pragma once
// A main window on a private picture folder, with scripted dialogs and a fake tray icon.

#include <gtest/gtest.h>

#include <QRect>
#include <QString>
#include <functional>
#include <memory>

#include "fullscreen/frmFullscn.h"
#include "mainwindow/frmGlimvane.h"
#include "support/FakeDialogs.h"
#include "support/FakeTrayIcon.h"

namespace gvtest {

// Where a control lies in its window.
inline QRect onWindow(const QWidget* w) {
    return {w->mapTo(w->window(), QPoint(0, 0)), w->size()};
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes and loads the window, 1000 x 700 pixels.
    void open();
    QString file(const QString& name) const { return m_folder + "/" + name; }
    // Clicks the file in the list, as the user does.
    void click(const QString& name);
    // The title after "Glimvane - ".
    QString shown() const;
    // The message boxes shown since the record was last cleared.
    QList<ShownMessage> messageBoxes();
    // The full-screen viewer's start on the picture the window shows, file `name`.
    gv::FullScreenStart fullScreenStart(const QString& name, const QRect& screen) const;
    // Makes each of the program's other windows over the open window, which shows file `name`,
    // and hands it to `visit` with a word on which it is.
    void forEachOtherWindow(const QString& name,
                            const std::function<void(QWidget&, const char*)>& visit);

    ScopedFakeDialogs m_dialogs;
    ScopedFakeTray m_tray;
    QString m_folder;  // the start folder
    std::unique_ptr<gv::frmGlimvane> w;
};

}  // namespace gvtest
