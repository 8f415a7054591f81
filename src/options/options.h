#pragma once
// The options dialog: five tabs of settings, the editors and the user's web sites, the
// start folder, the file types Glimvane opens, and desktop icons. Every value is read when
// the dialog opens and written only by "Apply" and "OK", in one pass; "Cancel" writes nothing.
// Changes to the editor and site lists go into their menus at once (saved at exit).

#include <QDialog>
#include <QList>
#include <QString>
#include <functional>
#include <utility>

#include "settings/SettingKeys.h"

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QAction;

namespace gv {

class clsVarMenus;
class TabControl;
class UpDown;

// What the dialog needs from the main window; every part may be left empty.
struct OptionsHost {
    clsVarMenus* editors = nullptr;
    clsVarMenus* myWebs = nullptr;
    bool pcxSupported = true;
    std::function<QString()> currentFolder;
    // "Support Neoplanet and Opera" takes effect at once.
    std::function<void(bool)> setSupportNeoplanetOpera;
    // After each Apply, so the main window follows the options written.
    std::function<void()> applied;
    // On close, when the notification-area icon is in use: whether it is always shown.
    std::function<void(bool)> setTrayAlwaysShown;
    std::function<void(int)> showHelp;
    std::function<void()> addDesktopIcons;
};

// The tab keys, in order.
inline constexpr const char* kTabMain = "main";
inline constexpr const char* kTabFull = "full";
inline constexpr const char* kTabLinks = "links";
inline constexpr const char* kTabEditors = "editors";
inline constexpr const char* kTabAdvanced = "adv";

class options final : public QDialog {
    Q_OBJECT
public:
    explicit options(OptionsHost host, const QString& tab = QString::fromLatin1(kTabMain),
                     QWidget* parent = nullptr);
    ~options() override;

    // The controls, named as the program names them.
    TabControl* Tabs = nullptr;
    QList<QGroupBox*> fraMain;
    QPushButton *cmdHelp = nullptr, *cmdOK = nullptr, *cmdCancel = nullptr, *cmdApply = nullptr;
    QMenu* mnuFav = nullptr;
    QList<QAction*> mnuFavs;
    // Main
    QRadioButton *optShowAlways = nullptr, *optShowMinim = nullptr;
    QCheckBox *chkSystray = nullptr, *chkFollowOp = nullptr, *chkRecFiles = nullptr,
              *chkLoadTipsAtStartup = nullptr, *Check1 = nullptr, *chkFlatCtl = nullptr,
              *chkLastdir = nullptr;
    UpDown *Scrollsen = nullptr, *UDdrg = nullptr;
    QLineEdit *txtScollsen = nullptr, *txtDragSen = nullptr;
    QLabel* startdir = nullptr;
    QPushButton *Command1 = nullptr, *cmdCurrent = nullptr, *fav = nullptr;
    // Full Screen
    QCheckBox *chkRevNav = nullptr, *chkDisFSNav = nullptr, *Check5 = nullptr,
              *chkShowMBalways = nullptr, *chkGreyMode = nullptr;
    // Links
    QListWidget *lstWebname = nullptr, *lstWebAddr = nullptr;
    QList<QPushButton*> Webctls;
    QCheckBox* chkBrowsers = nullptr;
    QRadioButton *optAutowbnm = nullptr, *optPromptwnm = nullptr;
    QPushButton* cmdDesktop = nullptr;
    // Editors
    QListWidget* EditorsList = nullptr;
    QLineEdit* txtEdNm = nullptr;
    QPushButton *cmdAddEditor = nullptr, *cmdDelEditor = nullptr, *cmdChangeEdNm = nullptr;
    // Advanced
    QCheckBox *chkGIF87a = nullptr, *chkFavorite = nullptr, *chkMaintain = nullptr,
              *chkImgFll = nullptr, *chkCloseAfter1 = nullptr, *chkDelFavs = nullptr;
    QList<QCheckBox*> fileTypeBoxes;  // in the order of kAssociationTypes
    QPushButton *cmdCheckAll = nullptr, *cmdCheckNone = nullptr;
    QCheckBox *chkFP98 = nullptr, *chkFP2000 = nullptr;

    // The start folder the "Home Directory" label shows (lossless form).
    QString startFolder() const { return m_startFolder; }

private:
    void buildMain(QGroupBox* frame);
    void buildFullScreen(QGroupBox* frame);
    void buildLinks(QGroupBox* frame);
    void buildEditors(QGroupBox* frame);
    void buildAdvanced(QGroupBox* frame);
    void LoadValues();
    void ApplyOptions();
    void setStartFolder(const QString& folder, const QString& tip = QString());
    void fav_Click();
    void EditorsList_Click();
    void cmdDelEditor_Click();
    void cmdChangeEdNm_Click();
    void cmdAddEditor_Click();
    void Webctls_Click(int index);
    void selectSite(int row);
    void selectEditor(int row);

    OptionsHost m_host;
    QString m_startFolder;
    // The settings ApplyOptions writes, in its order, each with the control's value.
    QList<std::pair<SettingKey, std::function<QString()>>> m_writes;
    bool m_syncingSites = false;
};

}  // namespace gv
