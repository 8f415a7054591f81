// The Edit and Go menus' commands and the Tools menu's wallpaper: each hands its work to the
// clipboard, wallpaper, editor or web-site code and applies what comes back.

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include "external/Dialog.h"
#include "external/Editors.h"
#include "external/ObjectError.h"
#include "external/Updater.h"
#include "external/clsShIntegration.h"
#include "external/clsVarMenus.h"
#include "images/ImageClipboard.h"
#include "images/Wallpaper.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Clipboard.h"
#include "platform/Controls.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "widgets/ImageBox.h"
#include "widgets/ViewMath.h"

namespace gv {
namespace {

constexpr const char* kUpdateCaption = "Update...";
// %1 the address.
constexpr const char* kRunsProgram =
    "The address '%1' names a program on this computer, not a web site or a document. "
    "Glimvane does not start programs from its lists of sites.";

// A site of a list, through the desktop; one that would start a program is refused.
void openSite(const QString& address, QWidget* owner) {
    if (openListedAddress(address) == OpenOutcome::RunsProgram) {
        dialogs().message(QString::fromLatin1(kRunsProgram).arg(address.trimmed()), MsgButtons::Ok,
                          MsgIcon::Exclamation, QString::fromLatin1(kProgramTitle), owner);
    }
}

}  // namespace

void frmGlimvane::connectExternalCommands() {
    connect(mnuEdit, &QMenu::aboutToShow, this, &frmGlimvane::mnuEdit_Click);
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString& key) {
        mnuCopy->setEnabled(key != QStringLiteral("ico") && key != QStringLiteral("ICO"));
    });
    connect(mnuCopy, &QAction::triggered, this, &frmGlimvane::mnuCopy_Click);
    connect(mnuCopyImg, &QAction::triggered, this, &frmGlimvane::mnuCopyImg_Click);
    connect(mnuPaste, &QAction::triggered, this, &frmGlimvane::mnuPaste_Click);
    // Ctrl+V follows what the clipboard holds also while the menu stays closed.
    watchClipboard(this, [this] { mnuPaste->setEnabled(ClipboardHoldsPicture()); });
    connect(mnuClear, &QAction::triggered, this, &frmGlimvane::mnuClear_Click);
    connect(mnuCenter, &QAction::triggered, this, &frmGlimvane::mnuCenter_Click);
    connect(mnuTileImage, &QAction::triggered, this, &frmGlimvane::mnuTileImage_Click);
    connect(mnuGoItem, &QMenu::aboutToShow, this, &frmGlimvane::mnuGoItem_Click);
    // A browser page item shows only while a browser shows a page.
    for (int i = 0; i < mnuLink.size(); ++i) {
        mnuLink[i]->setVisible(false);
        connect(mnuLink[i], &QAction::triggered, this, [this, i] { mnuLink_Click(i); });
    }
    connect(mnuAddlnkManually, &QAction::triggered, this, &frmGlimvane::mnuAddlnkManually_Click);
}

clsShIntegration& frmGlimvane::shellIntegration() {
    if (!m_shellIntegration) {
        m_shellIntegration = std::make_unique<clsShIntegration>();
    }
    return *m_shellIntegration;
}

void frmGlimvane::PrepareEditorList() {
    m_editorMenus = new clsVarMenus(mnuEditor, mnuEditors);
    connect(m_editorMenus, &clsVarMenus::chosen, this, &frmGlimvane::mnuEditors_Click);
}

void frmGlimvane::LoadDataFileMenus() {
    // The maker's sites go above the separator and "Submit Website".
    const QList<QAction*> siteActions = mnuImgsites->actions();
    QAction* beforeSubmit = siteActions.value(siteActions.indexOf(mnuImgWebs[0]) + 1);
    m_myWebMenus = new clsVarMenus(mnuMyWeb, mnuMyWebs);
    m_imgWebMenus = new clsVarMenus(mnuImgsites, mnuImgWebs, beforeSubmit);
    m_trayWebMenus = new clsVarMenus(mnuGoMen, mnuImgWebs2);
    connect(m_myWebMenus, &clsVarMenus::chosen, this, &frmGlimvane::mnuMyWebs_Click);
    connect(m_imgWebMenus, &clsVarMenus::chosen, this, &frmGlimvane::mnuImgWebs_Click);
    connect(m_trayWebMenus, &clsVarMenus::chosen, this, &frmGlimvane::mnuImgWebs_Click);
    m_editorMenus->DataFile = QStringLiteral("GVEditors.dat");
    m_myWebMenus->DataFile = QStringLiteral("GVImgwebs.dat");
    m_imgWebMenus->DataFile = QStringLiteral("GVSetwebs.dat");
    for (clsVarMenus* menus : {m_editorMenus, m_myWebMenus, m_imgWebMenus}) {
        menus->LoadMenu();
    }
    // The first time, the editors installed on this desktop fill an empty editors list;
    // a list the user has emptied since stays empty.
    if (GetSetting(keys::kEditorsFound) != QStringLiteral("1")) {
        if (m_editorMenus->entries().isEmpty()) {
            for (const MenuEntry& e : installedEditors()) {
                bool fail = false;
                m_editorMenus->AddItem(e.name, e.target, fail);
            }
        }
        SaveSetting(keys::kEditorsFound, QStringLiteral("1"));
    }
}

void frmGlimvane::SaveDataFileMenus() {
    for (clsVarMenus* menus : {m_editorMenus, m_myWebMenus}) {
        if (menus) {
            menus->SaveMenu();
        }
    }
}

void frmGlimvane::mnuEdit_Click() {
    mnuPaste->setEnabled(ClipboardHoldsPicture());
    mnuEditor->menuAction()->setEnabled(!appState().CurrentImagePath.isEmpty() &&
                                        !m_editorMenus->tag(0).isEmpty());
    mnuCopy->setEnabled(Text1->text() != QStringLiteral("ico") &&
                        Text1->text() != QStringLiteral("ICO"));
}

void frmGlimvane::mnuEditors_Click(int index) {
    StartEditor(m_editorMenus->tag(index), appState().CurrentImagePath);
}

void frmGlimvane::mnuCopy_Click() {
    if (!AwaitWholePicture()) {
        return;
    }
    // The selection is drawn in the view's units; the picture shown holds device pixels.
    const QRect selection = Shape1->isHidden()
                                ? QRect()
                                : devicePixelRect(Shape1->geometry(), Image1->devicePixelRatioF());
    CopyToClipboard(Image1->picture(), Image1->shownImage(), selection);
}

void frmGlimvane::mnuCopyImg_Click() {
    if (!AwaitWholePicture()) {
        return;
    }
    CopyToClipboard(Image1->picture(), Image1->shownImage(), QRect());
}

void frmGlimvane::mnuPaste_Click() {
    if (!UnsavedImageMayGo()) {
        return;
    }
    // With no picture on the clipboard there is nothing to show; the image stays.
    const Picture picture = ClipboardPicture();
    if (picture.isNull()) {
        return;
    }
    LoadAndShowImage(picture);
    Toolbar[5]->setEnabled(true);
    Toolbar[6]->setEnabled(true);
}

void frmGlimvane::mnuClear_Click() {
    clearClipboard();
}

void frmGlimvane::mnuCenter_Click() {
    if (!AwaitWholePicture()) {
        return;
    }
    SetWallpaper(Image1->picture(), QStringLiteral("0"));
}

void frmGlimvane::mnuTileImage_Click() {
    if (!AwaitWholePicture()) {
        return;
    }
    SetWallpaper(Image1->picture(), QStringLiteral("1"));
}

void frmGlimvane::mnuGoItem_Click() {
    m_imgWebMenus->ReloadMenu();
    mnuMyWeb->menuAction()->setEnabled(!m_myWebMenus->caption(0).isEmpty());
    if (m_imgWebMenus->caption(0).isEmpty()) {
        setMenuItem(mnuImgWebs[0], QString::fromLatin1(kUpdateCaption), QString());
    }
    // The pages the browsers show: Firefox, Chromium or Chrome, and on request two more.
    clsShIntegration& shell = shellIntegration();
    const auto showPage = [&](int index, const QString& name, int number, bool needTitle) {
        const QString address = shell.URL(name, number);
        const QString title = shell.PageTtl();
        const bool shown = !address.isEmpty() && (!needTitle || !title.isEmpty());
        if (shown) {
            // The page's title, whatever it is: the address is the item's target only.
            setMenuItem(mnuLink[index], title, address);
        }
        mnuLink[index]->setVisible(shown);
    };
    showPage(0, QString(), 1, true);
    showPage(1, QString(), 2, false);
    if (m_supportMb) {
        showPage(2, QStringLiteral("Neoplanet"), 3, false);
        showPage(3, QStringLiteral("Opera"), 3, false);
    }
}

void frmGlimvane::mnuLink_Click(int index) {
    QString name = menuCaption(mnuLink[index]);
    if (GetSetting(keys::kPromptWnm) == QStringLiteral("True")) {
        name = dialogs()
                   .input(QStringLiteral("Please enter a name for this website."),
                          QStringLiteral("Website Name"), name, this)
                   .trimmed();
        if (name.isEmpty()) {
            return;
        }
    }
    bool fail = false;
    m_myWebMenus->AddItem(name, mnuLink[index]->data().toString(), fail);
}

void frmGlimvane::mnuAddlnkManually_Click() {
    Dialog dialog(*m_myWebMenus, this);
    dialogs().execModal(dialog);
}

void frmGlimvane::RebuildTrayGoMenu() {
    m_trayWebMenus->setEntries(m_imgWebMenus->entries());
    if (m_trayWebMenus->caption(0).isEmpty()) {
        setMenuItem(mnuImgWebs2[0], QString::fromLatin1(kUpdateCaption), QString());
    }
}

void frmGlimvane::mnuImgWebs_Click(int index) {
    clsVarMenus* menus = sender() == m_trayWebMenus ? m_trayWebMenus : m_imgWebMenus;
    if (menus->caption(index) == QString::fromLatin1(kUpdateCaption)) {
        LaunchUpdater(1);
    } else {
        openSite(menus->tag(index), this);
    }
}

void frmGlimvane::mnuMyWebs_Click(int index) {
    openSite(m_myWebMenus->tag(index), this);
}

}  // namespace gv
