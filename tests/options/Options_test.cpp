// The options dialog on its own (with a host of the test's) and in the main window.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "external/clsVarMenus.h"
#include "widgets/FileListBox.h"
#include "options/PrivateDesktop.h"
#include "options/options.h"
#include "platform/Controls.h"
#include "platform/FileNameBytes.h"
#include "platform/Settings.h"
#include "platform/TrayIcon.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/FakeDialogs.h"
#include "support/WindowFixture.h"

using namespace gv;
using gvtest::PrivateDesktop;

namespace {

// Each check box and option button, the key it edits and what it stores checked and clear.
struct Stored {
    const char* control;
    const SettingKey& key;
    const char* on = "1";
    const char* off = "0";
};
const Stored kStored[] = {
    {"chkSystray", keys::kSysTrayIcon},
    {"chkFollowOp", keys::kFollowOp},
    {"chkRecFiles", keys::kRecyc},
    {"chkLoadTipsAtStartup", keys::kShowTips},
    {"Check1", keys::kImageSize, "Stretch", "Normal"},
    {"chkFlatCtl", keys::kFlatCtl},
    {"chkLastdir", keys::kLastDirectory},
    {"chkRevNav", keys::kFsNav},
    {"chkDisFSNav", keys::kDisFsNav},
    {"Check5", keys::kFullScreenInfo, "On", "Off"},
    {"chkShowMBalways", keys::kFsMbAl},
    {"chkGreyMode", keys::kGreyMode},
    {"chkBrowsers", keys::kSupportMb},
    {"chkGIF87a", keys::kGif87a},
    {"chkFavorite", keys::kFavorite},
    {"chkMaintain", keys::kMaintainAss},
    {"chkImgFll", keys::kImgFll},
    {"chkCloseAfter1", keys::kCloseAfter1},
    {"chkDelFavs", keys::kDelFavs},
    {"optShowAlways", keys::kShowAlways, "True", "False"},
    {"optShowMinim", keys::kShowMinim, "True", "False"},
    {"optAutowbnm", keys::kAutoWbnm, "True", "False"},
    {"optPromptwnm", keys::kPromptWnm, "True", "False"},
};

QAbstractButton* control(QDialog& d, const char* name) {
    auto* b = d.findChild<QAbstractButton*>(name);
    EXPECT_TRUE(b) << name;
    return b;
}

// Every control to its other state: boxes flipped, the other option of each pair chosen,
// both sensitivities moved, the start folder from "Use Current".
void changeEverything(options& d) {
    d.cmdCurrent->click();  // before "Last Used" disables it, or after it enabled it
    for (const Stored& s : kStored) {
        if (auto* box = qobject_cast<QCheckBox*>(control(d, s.control))) {
            box->setChecked(!box->isChecked());
        }
    }
    for (auto [a, b] :
         {std::pair{d.optShowAlways, d.optShowMinim}, std::pair{d.optAutowbnm, d.optPromptwnm}}) {
        (a->isChecked() ? b : a)->setChecked(true);
    }
    d.Scrollsen->setValue(d.Scrollsen->value() == 5 ? 2 : 5);
    d.UDdrg->setValue(d.UDdrg->value() == 1 ? 6 : 1);
    d.cmdCurrent->click();
}

class Options : public ::testing::Test {
protected:
    void SetUp() override { resetAppState(); }

    OptionsHost host() {
        OptionsHost h;
        h.currentFolder = [this] { return m_current; };
        h.setSupportNeoplanetOpera = [this](bool on) { m_supportMb = on; };
        h.applied = [this] { ++m_applied; };
        h.addDesktopIcons = [this] { ++m_icons; };
        h.editors = m_editors;
        h.myWebs = m_sites;
        return h;
    }
    void makeMenus() {
        for (auto* items : {&m_editorItems, &m_siteItems}) {
            auto* first = new QAction(&m_menu);
            m_menu.addAction(first);
            *items << first;
        }
        m_editors = new clsVarMenus(&m_menu, m_editorItems);
        m_sites = new clsVarMenus(&m_menu, m_siteItems);
    }

    PrivateDesktop m_desktop;
    gvtest::ScopedFakeDialogs m_dialogs;
    // A folder whose name is not UTF-8.
    QString m_current =
        fileNameFromBytes(QFile::encodeName(gvtest::testFolders().home) + "/Pictures/b\xff");
    bool m_supportMb = false;
    int m_applied = 0;
    int m_icons = 0;
    QMenu m_menu;
    QList<QAction*> m_editorItems, m_siteItems;
    clsVarMenus* m_editors = nullptr;
    clsVarMenus* m_sites = nullptr;
};

}  // namespace

TEST_F(Options, AnEmptyStoreShowsTheDefaultsWithTheirReactions) {
    options d(host());
    EXPECT_TRUE(appState().SecondaryWindowOpen);
    EXPECT_EQ(d.windowTitle(), "Options");
    EXPECT_EQ(d.Tabs->selectedKey(), "main");
    const QStringList checked{"optShowMinim",         "optAutowbnm", "chkMaintain",
                              "chkLoadTipsAtStartup", "Check1",      "Check5"};
    for (const Stored& s : kStored) {
        EXPECT_EQ(control(d, s.control)->isChecked(), checked.contains(s.control)) << s.control;
    }
    EXPECT_EQ(d.Scrollsen->value(), 3);
    EXPECT_EQ(d.UDdrg->value(), 3);
    EXPECT_EQ(d.txtScollsen->text(), "3");
    EXPECT_EQ(d.startFolder(), programFolder());
    // No tray icon in use, so where it would show is not to be chosen.
    EXPECT_FALSE(d.optShowAlways->isEnabled());
    EXPECT_FALSE(d.optShowMinim->isEnabled());
    EXPECT_TRUE(d.Command1->isEnabled());
    EXPECT_TRUE(d.chkRevNav->isEnabled());
    for (QWidget* off : std::initializer_list<QWidget*>{d.cmdHelp, d.chkFP98, d.chkFP2000}) {
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
    }
    d.cmdOK->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    // The deletes' own default ("1") is not what the dialog shows and writes.
    EXPECT_EQ(GetSetting(keys::kRecyc), "0");
    EXPECT_EQ(GetSetting(keys::kStartDir), programFolder());
}

TEST_F(Options, EveryControlRoundTripsThroughTheStore) {
    QList<bool> states;
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        options d(host());
        // What the previous pass wrote is what this one shows.
        if (pass > 0) {
            for (int i = 0; i < int(std::size(kStored)); ++i) {
                EXPECT_EQ(control(d, kStored[i].control)->isChecked(), states[i])
                    << kStored[i].control;
            }
            EXPECT_EQ(d.Scrollsen->value(), 5);
            EXPECT_EQ(d.UDdrg->value(), 1);
            EXPECT_EQ(d.startFolder(), m_current);
            m_current = gvtest::testFolders().data;
        }
        changeEverything(d);
        (pass == 0 ? d.cmdApply : d.cmdOK)->click();
        EXPECT_EQ(m_applied, pass + 1);
        states.clear();
        for (const Stored& s : kStored) {
            const bool on = control(d, s.control)->isChecked();
            states << on;
            EXPECT_EQ(GetSetting(s.key), on ? s.on : s.off) << s.control;
        }
        EXPECT_EQ(GetSetting(keys::kScrollSen), QString::number(d.Scrollsen->value()));
        EXPECT_EQ(GetSetting(keys::kDragSen), QString::number(d.UDdrg->value()));
        EXPECT_EQ(GetSetting(keys::kStartDir), m_current);
    }
}

TEST_F(Options, CancelWritesNothingAfterEditsOnEveryTab) {
    PrivateDesktop::write(PrivateDesktop::listPath(), "[Default Applications]\n");
    {
        options d(host());
        d.findChild<QCheckBox*>("chkPNGass")->setChecked(true);
        d.cmdOK->click();
    }
    ASSERT_EQ(PrivateDesktop::xdgDefault("image/png"), "glimvane.desktop");
    const QByteArray settings = PrivateDesktop::read(settingsFilePath("Glimvane2"));
    const QByteArray list = PrivateDesktop::read(PrivateDesktop::listPath());
    for (const bool all : {false, true}) {
        options d(host());
        changeEverything(d);
        (all ? d.cmdCheckAll : d.cmdCheckNone)->click();
        d.cmdCancel->click();
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
    EXPECT_EQ(PrivateDesktop::read(settingsFilePath("Glimvane2")), settings);
    EXPECT_EQ(PrivateDesktop::read(PrivateDesktop::listPath()), list);
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/png"), "glimvane.desktop");
    EXPECT_EQ(m_applied, 1);
    EXPECT_FALSE(appState().SecondaryWindowOpen);
}

TEST_F(Options, StoredTextsShowAsTheirControlsReadThem) {
    const struct {
        const SettingKey& key;
        const char* stored;
        const char* control;
        bool checked;
    } boxes[] = {
        {keys::kImageSize, "Tile", "Check1", true},  // anything but "Normal" fits
        {keys::kImageSize, "Normal", "Check1", false},
        {keys::kFullScreenInfo, "Off", "Check5", false},
        {keys::kFullScreenInfo, "", "Check5", true},
        {keys::kGif87a, " 1 ", "chkGIF87a", true},
        {keys::kGif87a, "True", "chkGIF87a", false},
        {keys::kShowMinim, "false", "optShowMinim", false},
        {keys::kPromptWnm, "TRUE", "optPromptwnm", true},  // over "Auto-detect", read first
    };
    for (const auto& c : boxes) {
        SaveSetting(c.key, c.stored);
        options d(host());
        EXPECT_EQ(control(d, c.control)->isChecked(), c.checked) << c.stored;
        DeleteSetting(c.key);
    }
    const std::pair<const char*, int> sensitivities[] = {{"9", 6}, {"0", 1}, {"abc", 3}, {"4", 4}};
    for (const auto& [stored, shown] : sensitivities) {
        SaveSetting(keys::kDragSen, stored);
        options d(host());
        EXPECT_EQ(d.UDdrg->value(), shown) << stored;
    }
    // A text other than "Normal" is written back as "Stretch".
    SaveSetting(keys::kImageSize, "Tile");
    options(host()).cmdApply->click();
    EXPECT_EQ(GetSetting(keys::kImageSize), "Stretch");
}

TEST_F(Options, ControlsReactAtOnce) {
    options d(host());
    d.chkSystray->click();
    EXPECT_TRUE(d.optShowAlways->isEnabled() && d.optShowMinim->isEnabled());
    d.chkLastdir->click();
    for (QPushButton* b : {d.Command1, d.cmdCurrent, d.fav}) {
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    }
    d.chkDisFSNav->click();
    EXPECT_FALSE(d.chkRevNav->isEnabled());
    d.chkBrowsers->click();
    EXPECT_TRUE(m_supportMb);  // before any Apply
    d.cmdCheckAll->click();
    for (QCheckBox* box : d.fileTypeBoxes) {
        EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
    }
    d.cmdCheckNone->click();
    for (QCheckBox* box : d.fileTypeBoxes) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    }
    d.cmdDesktop->click();
    EXPECT_EQ(m_icons, 1);
    d.show();
    for (int tab = 0; tab < 5; ++tab) {
        d.Tabs->setCurrentIndex(tab);
        for (int frame = 0; frame < 5; ++frame) {
            EXPECT_EQ(d.fraMain[frame]->isVisible(), frame == tab) << tab << frame;
        }
    }
    // Only the boxes' state on opening reacts: a stored "Last Used" disables the buttons.
    SaveSetting(keys::kLastDirectory, "1");
    SaveSetting(keys::kSysTrayIcon, "1");
    options again(host(), "links");
    EXPECT_FALSE(again.fav->isEnabled());
    EXPECT_TRUE(again.optShowMinim->isEnabled());
    EXPECT_EQ(again.Tabs->selectedKey(), "links");
}

TEST_F(Options, TheStartFolderComesFromTheCurrentFolderAChooserOrAFavourite) {
    options d(host());
    d.cmdCurrent->click();
    EXPECT_EQ(d.startFolder(), m_current);  // its bytes, not what the label shows
    EXPECT_EQ(d.startdir->text(), fileNameForDisplay(m_current));

    m_dialogs->folderAnswers << ""
                             << "/srv/photos";
    d.Command1->click();
    EXPECT_EQ(d.startFolder(), m_current);  // a cancelled chooser keeps it
    d.Command1->click();
    EXPECT_EQ(d.startFolder(), "/srv/photos");
    EXPECT_EQ(m_dialogs->shown[0].text, "Browse for Start Directory...");

    m_dialogs->shown.clear();
    d.fav->click();
    ASSERT_EQ(m_dialogs->titles(), QStringList{"No Favourites"});
    EXPECT_EQ(m_dialogs->shown[0].text, "There are no favourites set!");
    EXPECT_EQ(m_dialogs->shown[0].icon, MsgIcon::Exclamation);

    SaveSetting("Glimvane2", "Favs", "favn1", "Holidays");
    SaveSetting("Glimvane2", "Favs", "fava1", "/srv/holidays");
    SaveSetting("Glimvane2", "Favs", "favn2", "Work");
    SaveSetting("Glimvane2", "Favs", "fava2", "/srv/work");
    d.fav->click();
    ASSERT_EQ(d.mnuFavs.size(), 2);
    EXPECT_EQ(d.mnuFavs[1]->text(), "Work");
    d.mnuFav->hide();
    d.mnuFavs[1]->trigger();
    EXPECT_EQ(d.startFolder(), "/srv/work");
    EXPECT_EQ(d.startdir->toolTip(), "Work");
    d.cmdApply->click();
    EXPECT_EQ(GetSetting(keys::kStartDir), "/srv/work");
}

TEST_F(Options, TheEditorAndSiteListsEditTheirMenusAtOnce) {
    makeMenus();
    bool fail = false;
    m_sites->AddItem("Art", "http://art.example", fail);
    m_sites->AddItem("Sky", "http://sky.example", fail);
    options d(host(), "editors");
    EXPECT_EQ(d.lstWebname->currentRow(), 0);
    EXPECT_EQ(d.lstWebAddr->currentRow(), 0);
    EXPECT_TRUE(d.Webctls[0]->isEnabled());
    EXPECT_EQ(d.EditorsList->count(), 0);
    EXPECT_FALSE(d.cmdDelEditor->isEnabled());

    // Add Editor, Change, Remove.
    m_dialogs->fileAnswers << FileChoice{"/opt/paint/psp.exe", "psp.exe", 1};
    m_dialogs->inputAnswers << "Paint Shop Pro"
                            << "My Paint";
    d.cmdAddEditor->click();
    ASSERT_EQ(d.EditorsList->count(), 1);
    EXPECT_EQ(d.EditorsList->currentItem()->text(), "/opt/paint/psp.exe");
    EXPECT_EQ(d.txtEdNm->text(), "Paint Shop Pro");
    EXPECT_TRUE(d.cmdChangeEdNm->isEnabled());
    d.cmdChangeEdNm->click();
    EXPECT_EQ(d.txtEdNm->text(), "My Paint");
    EXPECT_EQ(m_editors->caption(0), "My Paint");
    m_dialogs->messageAnswers << MsgAnswer::No << MsgAnswer::Yes;
    d.cmdDelEditor->click();
    EXPECT_EQ(d.EditorsList->count(), 1);
    d.cmdDelEditor->click();
    EXPECT_EQ(d.EditorsList->count(), 0);
    EXPECT_EQ(m_editors->tag(0), "");
    EXPECT_FALSE(d.cmdDelEditor->isEnabled());
    EXPECT_FALSE(d.cmdChangeEdNm->isEnabled());
    EXPECT_EQ(m_dialogs->titles().last(), "Remove Editor?");

    // A click on an address selects its name; delete it, then rename the one left.
    d.lstWebAddr->setCurrentRow(1);
    EXPECT_EQ(d.lstWebname->currentRow(), 1);
    EXPECT_EQ(d.lstWebAddr->toolTip(), "http://sky.example");
    m_dialogs->messageAnswers << MsgAnswer::Yes;
    d.Webctls[0]->click();
    EXPECT_EQ(m_dialogs->shown.last().text,
              "Are you sure you want to delete 'Sky' from your imaging websites");
    EXPECT_EQ(m_dialogs->shown.last().title, "Delete Link?");
    ASSERT_EQ(d.lstWebname->count(), 1);
    EXPECT_EQ(d.lstWebname->currentRow(), 0);
    m_dialogs->inputAnswers << "Gallery";
    d.Webctls[1]->click();
    EXPECT_EQ(d.lstWebname->item(0)->text(), "Gallery");
    EXPECT_EQ(m_sites->caption(0), "Gallery");
    m_dialogs->messageAnswers << MsgAnswer::Yes;
    d.Webctls[0]->click();
    EXPECT_EQ(d.lstWebname->count(), 0);
    EXPECT_FALSE(d.Webctls[0]->isEnabled() || d.Webctls[1]->isEnabled());
}

TEST_F(Options, CheckAllThenApplyRecordsEachPreviousOwnerAndCheckNoneGivesThemBack) {
    const QByteArray list = "# mine\n[Default Applications]\nimage/png=eog.desktop\n";
    PrivateDesktop::write(PrivateDesktop::listPath(), list);
    {
        options d(host());
        for (QCheckBox* box : d.fileTypeBoxes) {
            EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
        }
        d.cmdCheckAll->click();
        d.cmdApply->click();
    }
    for (const char* type : {"image/png", "image/gif", "image/jpeg", "image/bmp"}) {
        EXPECT_EQ(PrivateDesktop::xdgDefault(type), "glimvane.desktop") << type;
    }
    EXPECT_EQ(GetSetting("Glimvane2", "Associations", "PNG"), "image/png=eog.desktop");
    for (const char* code : {"BMP", "JPG", "GIF"}) {
        EXPECT_TRUE(SettingExists("Glimvane2", "Associations", code)) << code;
        EXPECT_EQ(GetSetting("Glimvane2", "Associations", code), "") << code;
    }
    for (const SettingKey& key : keys::kAssociationKeys) {
        EXPECT_EQ(GetSetting(key), "1") << key.key;
    }
    {
        options d(host());
        for (QCheckBox* box : d.fileTypeBoxes) {
            EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
        }
        d.cmdCheckNone->click();
        d.cmdOK->click();
    }
    EXPECT_TRUE(m_dialogs->shown.isEmpty()) << m_dialogs->titles().join(", ").toStdString();
    EXPECT_EQ(PrivateDesktop::read(PrivateDesktop::listPath()), list);
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/png"), "eog.desktop");
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/gif"), "gimp.desktop");
}

TEST_F(Options, EachControlsCaptionIsItsAccessibleName) {
    options d(host());
    int buttons = 0;
    for (QAbstractButton* b : d.findChildren<QAbstractButton*>()) {
        if (b->parent() == d.Tabs->tabBar() || b->objectName().isEmpty()) {
            continue;  // the tab bar's scroll arrows
        }
        ++buttons;
        const QString name = QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << b->objectName().toStdString();
        if (!b->text().isEmpty()) {
            EXPECT_EQ(name, b->text()) << b->objectName().toStdString();
        }
    }
    EXPECT_GE(buttons, 50);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(d.chkGIF87a)->text(QAccessible::Name),
              "Turn off animation for GIF 87a type GIF files (faster). GIF 89a type GIF files "
              "are still animated (see help under GIF animation)");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(d.chkDisFSNav)->text(QAccessible::Name),
              "Disable mouse navigation ");
    for (QWidget* w : std::initializer_list<QWidget*>{d.Scrollsen, d.txtDragSen, d.startdir,
                                                      d.txtEdNm, d.EditorsList, d.lstWebname}) {
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty())
            << w->objectName().toStdString();
    }
    QStringList tabs;
    for (int i = 0; i < d.Tabs->count(); ++i) {
        tabs << d.Tabs->tabText(i);
    }
    EXPECT_EQ(tabs, (QStringList{"Main", "Full Screen", "Links", "Editors", "Advanced"}));
    EXPECT_EQ(d.findChild<QCheckBox*>("chkTIFass")->toolTip(), "Tagged Image File Format");
}

TEST_F(Options, NoCaptionIsCutOffOnAnyTab) {
    makeMenus();
    bool fail = false;
    m_editors->AddItem("GNU Image Manipulation Program", "/usr/bin/gimp", fail);
    options d(host());
    d.show();
    for (int tab = 0; tab < d.Tabs->count(); ++tab) {
        d.Tabs->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        for (QWidget* w : d.fraMain[tab]->findChildren<QWidget*>()) {
            if (!w->isVisible()) {
                continue;
            }
            const std::string name = (d.Tabs->tabText(tab) + ": " + w->objectName()).toStdString();
            if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
            } else if (qobject_cast<QAbstractButton*>(w)) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << name;
                EXPECT_GE(w->height(), w->minimumSizeHint().height()) << name;
            }
        }
    }
    d.Tabs->setCurrentIndex(3);
    EXPECT_GE(d.txtEdNm->width(), d.txtEdNm->fontMetrics().horizontalAdvance(d.txtEdNm->text()));
}

namespace {

class OptionsInTheWindow : public gvtest::WindowFixture {
protected:
    PrivateDesktop m_desktop;
};

}  // namespace

TEST_F(OptionsInTheWindow, F9TheToolbarAndEditLinksOpenItOnTheirTabs) {
    open();
    QStringList opened;
    const auto script = [&](QDialog& d) {
        opened << static_cast<options&>(d).Tabs->selectedKey();
        EXPECT_TRUE(appState().SecondaryWindowOpen);
        return int(QDialog::Rejected);
    };
    m_dialogs->modalScripts << script << script << script;
    w->mnuOptions->trigger();
    w->Toolbar[7]->click();
    w->mnuEditLinks->trigger();
    EXPECT_EQ(opened, (QStringList{"main", "main", "links"}));
    EXPECT_FALSE(appState().SecondaryWindowOpen);
}

TEST_F(OptionsInTheWindow, TheWindowFollowsTheOptionsApplied) {
    open();
    m_dialogs->modalScripts << [](QDialog& dialog) {
        auto& d = static_cast<options&>(dialog);
        for (QCheckBox* box : {d.chkFavorite, d.chkFlatCtl, d.chkFollowOp, d.chkSystray,
                               d.chkGIF87a, d.chkBrowsers}) {
            box->setChecked(true);
        }
        d.optShowAlways->setChecked(true);
        d.UDdrg->setValue(5);
        d.cmdApply->click();
        return int(QDialog::Accepted);
    };
    w->mnuOptions->trigger();
    EXPECT_EQ(w->mnuFav->title(), "Favorites");
    EXPECT_EQ(w->mnuFavMan->text(), "Favorites Manager");
    EXPECT_EQ(w->File1->frameShadow(), QFrame::Plain);
    EXPECT_TRUE(w->followOperations());
    EXPECT_EQ(w->dragStep(), 5);
    EXPECT_TRUE(w->trayOnly());
    EXPECT_EQ(w->minimiseMode(), 1);
    EXPECT_TRUE(w->trayIcon()->inTray());  // "Show always"
    EXPECT_FALSE(appState().Animate87aGif);
    EXPECT_TRUE(w->supportNeoplanetOpera());

    // And back, with OK.
    m_dialogs->modalScripts << [](QDialog& dialog) {
        auto& d = static_cast<options&>(dialog);
        for (QCheckBox* box : {d.chkFavorite, d.chkFlatCtl, d.chkSystray}) {
            box->setChecked(false);
        }
        d.cmdOK->click();
        return d.result();
    };
    w->mnuOptions->trigger();
    EXPECT_EQ(w->mnuFav->title(), "Favourites");
    EXPECT_EQ(w->File1->frameShadow(), QFrame::Sunken);
    EXPECT_FALSE(w->trayIcon()->inTray());
}
