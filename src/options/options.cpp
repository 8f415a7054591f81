#include "options/options.h"

#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "external/Editors.h"
#include "external/clsVarMenus.h"
#include "favourites/FavouriteStore.h"
#include "options/Associations.h"
#include "platform/Controls.h"
#include "platform/Dialogs.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "startup/AppState.h"

namespace gv {
namespace {

struct TabInfo {
    const char* caption;
    const char* key;
    const char* frame;
    int helpContext;
};
constexpr TabInfo kTabs[] = {
    {"Main", kTabMain, "Main Options", 10012},
    {"Full Screen", kTabFull, "Full Screen Viewing", 10013},
    {"Links", kTabLinks, "Links", 10014},
    {"Editors", kTabEditors, "Editors", 10015},
    {"Advanced", kTabAdvanced, "Advanced Options", 10016},
};

constexpr const char* kGif87aCaption =
    "Turn off animation for GIF 87a type GIF files (faster). GIF 89a type GIF files are still "
    "animated (see help under GIF animation)";
constexpr const char* kFileTypesExplanation =
    "Check any file types below you would like associate Glimvane with. You can restore any "
    "previous associations by unchecking the file type you wish.";
constexpr const char* kBrowseStartPrompt = "Browse for Start Directory...";
constexpr const char* kNoFavouritesSet = "There are no favourites set!";
constexpr const char* kNoFavouritesTitle = "No Favourites";
constexpr const char* kRemoveEditorQuestion = "Are you sure you wish to remove this editor?";
constexpr const char* kRemoveEditorTitle = "Remove Editor?";
constexpr const char* kDeleteLinkTitle = "Delete Link?";

// Frames sit this far inside the tab control's client area (twips): 20 from its left and top
// edges, 250 narrower and 210 lower than it.
constexpr double kFrameInset = 20;
constexpr double kFrameNarrower = 250;
constexpr double kFrameLower = 210;
constexpr double kButtonGap = 100;

template <typename T>
T* captioned(T* control, const char* name, const QString& caption) {
    named(control, name);
    control->setAccessibleName(caption);
    return control;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption) {
    return captioned(new QCheckBox(QString::fromUtf8(caption), parent), name,
                     QString::fromUtf8(caption));
}

QRadioButton* radio(QWidget* parent, const char* name, const char* caption) {
    return captioned(new QRadioButton(QString::fromUtf8(caption), parent), name,
                     QString::fromUtf8(caption));
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
    return captioned(new QPushButton(QString::fromUtf8(caption), parent), name,
                     QString::fromUtf8(caption));
}

// A label that shows a path in the room it has, its middle left out when it is too long.
class PathLabel final : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override {
        return {fontMetrics().averageCharWidth() * 16, QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override {
        return {fontMetrics().averageCharWidth() * 30, QLabel::sizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        QPainter painter(this);
        const QRect area = contentsRect().adjusted(margin() + 2, 0, -margin() - 2, 0);
        painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

// A check box whose long caption wraps in a label beside it; a click on the label ticks it.
class WrappedCaption final : public QObject {
public:
    WrappedCaption(QCheckBox* box, QLabel* label) : QObject(label), m_box(box) {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease && m_box->isEnabled()) {
            m_box->click();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QCheckBox* m_box;
};

QWidget* wrappedCheckBox(QCheckBox* box, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(box->text(), row);
    label->setWordWrap(true);
    label->setBuddy(box);
    box->setText(QString());
    box->setParent(row);
    new WrappedCaption(box, label);
    layout->addWidget(box, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    return row;
}

QString checkValue(const QCheckBox* box) {
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

QString optionValue(const QRadioButton* button) {
    return button->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
}

bool storedTrue(const QString& text) {
    return text.trimmed().compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;
}

// A Boolean of the store: the word True, or a number other than 0.
bool storedBoolean(const QString& text) {
    bool number = false;
    const int value = text.trimmed().toInt(&number);
    return number ? value != 0 : storedTrue(text);
}

// A sensitivity as the dialog shows it: 1 to 6; text that is no number reads as the default.
int sensitivity(const SettingKey& key) {
    bool ok = false;
    const int value = GetSetting(key).trimmed().toInt(&ok);
    return std::clamp(ok ? value : QString::fromLatin1(key.defaultValue).toInt(), 1, 6);
}

}  // namespace

options::options(OptionsHost host, const QString& tab, QWidget* parent)
    : QDialog(parent), m_host(std::move(host)) {
    // 1. Load.
    appState().SecondaryWindowOpen = true;
    setObjectName(QStringLiteral("options"));
    setWindowTitle(QStringLiteral("Options"));

    // 2. The tabs, a frame in each, placed in the client area by the rule above; the buttons
    // in one row under the tab control.
    Tabs = named(new TabControl(this), "Tabs");
    Tabs->setAccessibleName(QStringLiteral("Option Pages"));
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    for (int i = 0; i < int(std::size(kTabs)); ++i) {
        Tabs->addKeyedTab(QString::fromLatin1(kTabs[i].caption), QString::fromLatin1(kTabs[i].key));
        QWidget* page = Tabs->widget(i);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(qRound(kFrameInset / tx), qRound(kFrameInset / ty),
                                   qRound((kFrameNarrower - kFrameInset) / tx),
                                   qRound((kFrameLower - kFrameInset) / ty));
        auto* frame = new QGroupBox(QString::fromLatin1(kTabs[i].frame), page);
        frame->setObjectName(QStringLiteral("fraMain_%1").arg(i));
        layout->addWidget(frame);
        fraMain << frame;
    }
    buildMain(fraMain[0]);
    buildFullScreen(fraMain[1]);
    buildLinks(fraMain[2]);
    buildEditors(fraMain[3]);
    buildAdvanced(fraMain[4]);

    cmdHelp = button(this, "cmdHelp", "Help");
    cmdOK = button(this, "cmdOK", "OK");
    cmdCancel = button(this, "cmdCancel", "Cancel");
    cmdApply = button(this, "cmdApply", "Apply");
    cmdOK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(qRound(kButtonGap / tx));
    buttons->addWidget(cmdHelp);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdApply);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(Tabs, 1);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetMinimumSize);

    connect(cmdOK, &QPushButton::clicked, this, [this] {
        ApplyOptions();
        accept();
    });
    connect(cmdApply, &QPushButton::clicked, this, &options::ApplyOptions);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdHelp, &QPushButton::clicked, this, [this] {
        if (m_host.showHelp) {
            m_host.showHelp(kTabs[Tabs->currentIndex()].helpContext);
        }
    });
    cmdHelp->setEnabled(static_cast<bool>(m_host.showHelp));

    // 3. The tab asked for (the "main" tab unless "Edit Links..." opened the dialog).
    Tabs->setCurrentIndex(0);
    for (int i = 0; i < int(std::size(kTabs)); ++i) {
        if (tab == QLatin1String(kTabs[i].key)) {
            Tabs->setCurrentIndex(i);
        }
    }
    // 4-7.
    LoadValues();
    // As low as the tallest tab allows, its wrapped captions whole at the width they get; the
    // lists of the Links tab would ask for more.
    for (QGroupBox* frame : fraMain) {
        if (frame->hasHeightForWidth()) {
            frame->setMinimumHeight(frame->heightForWidth(frame->sizeHint().width()));
        }
    }
    resize(sizeHint().width(), minimumSizeHint().height());
}

options::~options() {
    // Unload.
    appState().SecondaryWindowOpen = false;
    for (clsVarMenus* menus : {m_host.editors, m_host.myWebs}) {
        if (menus) {
            menus->NameList = nullptr;
            menus->TagList = nullptr;
        }
    }
    if (m_host.setTrayAlwaysShown && storedBoolean(GetSetting(keys::kSysTray))) {
        m_host.setTrayAlwaysShown(storedTrue(GetSetting(keys::kAlways)));
    }
}

void options::buildMain(QGroupBox* frame) {
    auto* show = named(new QGroupBox(QStringLiteral("Show Glimvane in:"), frame), "fraShow");
    chkSystray = checkBox(show, "chkSystray", "System tray");
    optShowAlways = radio(show, "optShowAlways", "Show always");
    optShowMinim = radio(show, "optShowMinim", "Show when minimised");
    auto* showLayout = new QGridLayout(show);
    showLayout->addWidget(chkSystray, 0, 0, 1, 2);
    showLayout->setColumnMinimumWidth(0,
                                      chkSystray->style()->pixelMetric(QStyle::PM_IndicatorWidth));
    showLayout->addWidget(optShowAlways, 1, 1);
    showLayout->addWidget(optShowMinim, 2, 1);

    chkFollowOp = checkBox(frame, "chkFollowOp", "Follow File/Directory operation");
    chkRecFiles = checkBox(frame, "chkRecFiles", "Send deleted files/folders to the recycle-bin");
    chkLoadTipsAtStartup = checkBox(frame, "chkLoadTipsAtStartup", "Show Tips at Startup");

    auto* sensitivities = new QGridLayout;
    const auto upDown = [&](const char* name, const char* textName, const char* caption, int row) {
        auto* box = captioned(new UpDown(frame), name, QString::fromUtf8(caption));
        auto* label = new QLabel(QString::fromUtf8(caption), frame);
        label->setBuddy(box);
        auto* text = box->findChild<QLineEdit*>();
        captioned(text, textName, QString::fromUtf8(caption));
        sensitivities->addWidget(label, row, 0);
        sensitivities->addWidget(box, row, 1);
        return box;
    };
    Scrollsen = upDown("Scrollsen", "txtScollsen", "Scroll bar sensitivity", 0);
    UDdrg = upDown("UDdrg", "txtDragSen", "Scroll drag sensitivity", 1);
    txtScollsen = Scrollsen->findChild<QLineEdit*>();
    txtDragSen = UDdrg->findChild<QLineEdit*>();
    sensitivities->setColumnStretch(2, 1);

    auto* interface = named(new QGroupBox(QStringLiteral("Interface"), frame), "fraInterface");
    Check1 = checkBox(interface, "Check1", "Fit image to canvas");
    chkFlatCtl = checkBox(interface, "chkFlatCtl", "Flat controls");
    auto* interfaceLayout = new QVBoxLayout(interface);
    interfaceLayout->addWidget(Check1);
    interfaceLayout->addWidget(chkFlatCtl);

    auto* home = named(new QGroupBox(QStringLiteral("Home Directory"), frame), "fraHome");
    startdir = captioned(new PathLabel(home), "startdir", QStringLiteral("Home Directory"));
    startdir->setFrameShape(QFrame::StyledPanel);
    startdir->setFrameShadow(QFrame::Sunken);
    Command1 = button(home, "Command1", "Browse...");
    cmdCurrent = button(home, "cmdCurrent", "Use Current");
    fav = button(home, "fav", "Favorites");
    chkLastdir = checkBox(home, "chkLastdir", "Last Used");
    auto* homeLayout = new QGridLayout(home);
    homeLayout->addWidget(startdir, 0, 0, 1, 3);
    homeLayout->addWidget(Command1, 1, 0);
    homeLayout->addWidget(cmdCurrent, 1, 1);
    homeLayout->addWidget(fav, 1, 2);
    homeLayout->addWidget(chkLastdir, 2, 0, 1, 3);
    mnuFav = named(new QMenu(QStringLiteral("Favourites"), this), "mnuFav");

    auto* left = new QVBoxLayout;
    left->addWidget(show);
    left->addWidget(chkFollowOp);
    left->addWidget(chkRecFiles);
    left->addWidget(chkLoadTipsAtStartup);
    left->addLayout(sensitivities);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(interface);
    right->addWidget(home);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(frame);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    connect(chkSystray, &QCheckBox::toggled, this, [this](bool on) {
        optShowAlways->setEnabled(on);
        optShowMinim->setEnabled(on);
    });
    connect(chkLastdir, &QCheckBox::toggled, this, [this](bool on) {
        for (QPushButton* b : {Command1, cmdCurrent, fav}) {
            b->setEnabled(!on);
        }
    });
    connect(cmdCurrent, &QPushButton::clicked, this, [this] {
        if (m_host.currentFolder) {
            setStartFolder(m_host.currentFolder());
        }
    });
    connect(Command1, &QPushButton::clicked, this, [this] {
        // A cancelled chooser keeps the folder shown.
        const QString folder = dialogs().folder(QString::fromLatin1(kBrowseStartPrompt), this);
        if (!folder.isEmpty()) {
            setStartFolder(folder);
        }
    });
    connect(fav, &QPushButton::clicked, this, &options::fav_Click);
}

void options::buildFullScreen(QGroupBox* frame) {
    chkRevNav = checkBox(frame, "chkRevNav", "Reverse mouse button navigation");
    chkDisFSNav = checkBox(frame, "chkDisFSNav", "Disable mouse navigation ");
    Check5 = checkBox(frame, "Check5", "Show Filename in Full screen");
    chkShowMBalways = checkBox(frame, "chkShowMBalways", "Show MiniBrowser always");
    chkGreyMode = checkBox(frame, "chkGreyMode", "MiniBrowser 'grey' mode");
    auto* layout = new QVBoxLayout(frame);
    for (QCheckBox* box : {chkRevNav, chkDisFSNav, Check5, chkShowMBalways, chkGreyMode}) {
        layout->addWidget(box);
    }
    layout->addStretch(1);
    connect(chkDisFSNav, &QCheckBox::toggled, chkRevNav,
            [this](bool on) { chkRevNav->setEnabled(!on); });
}

void options::buildLinks(QGroupBox* frame) {
    auto* sites = named(new QGroupBox(QStringLiteral("Personal website links"), frame), "fraSites");
    lstWebname = captioned(new QListWidget(sites), "lstWebname", QStringLiteral("Website name"));
    lstWebAddr = captioned(new QListWidget(sites), "lstWebAddr", QStringLiteral("Website address"));
    Webctls << button(sites, "Webctls_0", "Delete") << button(sites, "Webctls_1", "Rename");
    auto* sitesLayout = new QGridLayout(sites);
    sitesLayout->addWidget(lstWebname, 0, 0);
    sitesLayout->addWidget(lstWebAddr, 0, 1);
    auto* siteButtons = new QHBoxLayout;
    siteButtons->addWidget(Webctls[0]);
    siteButtons->addWidget(Webctls[1]);
    siteButtons->addStretch(1);
    sitesLayout->addLayout(siteButtons, 1, 0, 1, 2);
    sitesLayout->setColumnStretch(1, 1);

    auto* shell = named(new QGroupBox(QStringLiteral("Glimvane Shell Links"), frame), "fraShell");
    chkBrowsers = checkBox(shell, "chkBrowsers", "Support Neoplanet and Opera");
    optAutowbnm = radio(shell, "optAutowbnm", "Auto-detect website name");
    optPromptwnm = radio(shell, "optPromptwnm", "Prompt for website name");
    cmdDesktop = button(shell, "cmdDesktop", "Add Desktop Icon");
    auto* shellLayout = new QGridLayout(shell);
    shellLayout->addWidget(chkBrowsers, 0, 0);
    shellLayout->addWidget(optAutowbnm, 1, 0);
    shellLayout->addWidget(optPromptwnm, 2, 0);
    shellLayout->addWidget(cmdDesktop, 0, 1, 3, 1, Qt::AlignRight | Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(sites, 1);
    layout->addWidget(shell);

    for (int i = 0; i < Webctls.size(); ++i) {
        Webctls[i]->setEnabled(false);
        connect(Webctls[i], &QPushButton::clicked, this, [this, i] { Webctls_Click(i); });
    }
    onListChoice(lstWebname, [this](QListWidgetItem*) { selectSite(lstWebname->currentRow()); });
    onListChoice(lstWebAddr, [this](QListWidgetItem*) { selectSite(lstWebAddr->currentRow()); });
    connect(chkBrowsers, &QCheckBox::toggled, this, [this](bool on) {
        if (m_host.setSupportNeoplanetOpera) {
            m_host.setSupportNeoplanetOpera(on);
        }
    });
    connect(cmdDesktop, &QPushButton::clicked, this, [this] {
        if (m_host.addDesktopIcons) {
            m_host.addDesktopIcons();
        }
    });
    cmdDesktop->setEnabled(bool(m_host.addDesktopIcons));
}

void options::buildEditors(QGroupBox* frame) {
    EditorsList = captioned(new QListWidget(frame), "EditorsList", QStringLiteral("Editors"));
    auto* nameLabel = new QLabel(QStringLiteral("Editor Name:"), frame);
    txtEdNm = captioned(new QLineEdit(frame), "txtEdNm", QStringLiteral("Editor Name:"));
    // The name changes through "Change", which asks for it.
    txtEdNm->setReadOnly(true);
    txtEdNm->setEnabled(false);
    nameLabel->setBuddy(txtEdNm);
    cmdAddEditor = button(frame, "cmdAddEditor", "Add Editor...");
    cmdDelEditor = button(frame, "cmdDelEditor", "Remove Editor");
    cmdChangeEdNm = button(frame, "cmdChangeEdNm", "Change");
    cmdDelEditor->setEnabled(false);
    cmdChangeEdNm->setEnabled(false);
    auto* side = new QVBoxLayout;
    side->addWidget(cmdAddEditor);
    side->addWidget(cmdDelEditor);
    side->addStretch(1);
    // The name under the list, as wide as it, so a long name shows whole.
    auto* layout = new QGridLayout(frame);
    layout->addWidget(EditorsList, 0, 0, 1, 2);
    layout->addLayout(side, 0, 2);
    layout->addWidget(nameLabel, 1, 0);
    layout->addWidget(txtEdNm, 1, 1);
    layout->addWidget(cmdChangeEdNm, 1, 2);
    layout->setColumnStretch(1, 1);

    onListChoice(EditorsList, [this](QListWidgetItem*) { EditorsList_Click(); });
    connect(cmdAddEditor, &QPushButton::clicked, this, &options::cmdAddEditor_Click);
    connect(cmdDelEditor, &QPushButton::clicked, this, &options::cmdDelEditor_Click);
    connect(cmdChangeEdNm, &QPushButton::clicked, this, &options::cmdChangeEdNm_Click);
    cmdAddEditor->setEnabled(m_host.editors != nullptr);
}

void options::buildAdvanced(QGroupBox* frame) {
    chkGIF87a = checkBox(frame, "chkGIF87a", kGif87aCaption);
    QWidget* gifRow = wrappedCheckBox(chkGIF87a, frame);
    chkFavorite = checkBox(frame, "chkFavorite", "Spell 'Favourite' as 'Favorite' ");
    chkMaintain = checkBox(frame, "chkMaintain", "Automatically maintain associations");
    chkImgFll = checkBox(frame, "chkImgFll", "Open images in full screen");
    chkCloseAfter1 = checkBox(frame, "chkCloseAfter1", "Close Glimvane after showing one image");
    chkDelFavs =
        checkBox(frame, "chkDelFavs", "Automatically delete any invalid favourites on startup");

    auto* types = named(new QGroupBox(QStringLiteral("File Types"), frame), "fraFileTypes");
    auto* explanation = new QLabel(QString::fromLatin1(kFileTypesExplanation), types);
    explanation->setWordWrap(true);
    auto* typesLayout = new QGridLayout(types);
    typesLayout->addWidget(explanation, 0, 0, 1, 7);
    int i = 0;
    for (const AssociationType& type : kAssociationTypes) {
        QCheckBox* box = checkBox(types, type.checkBox, type.caption);
        if (*type.toolTip) {
            box->setToolTip(QString::fromLatin1(type.toolTip));
        }
        typesLayout->addWidget(box, 1 + i / 7, i % 7);
        fileTypeBoxes << box;
        ++i;
    }
    cmdCheckAll = button(types, "cmdCheckAll", "Check All");
    cmdCheckNone = button(types, "cmdCheckNone", "Check None");
    auto* typeButtons = new QHBoxLayout;
    typeButtons->addStretch(1);
    typeButtons->addWidget(cmdCheckAll);
    typeButtons->addWidget(cmdCheckNone);
    typesLayout->addLayout(typeButtons, 1 + (i + 6) / 7, 0, 1, 7);

    // No such web editor on this desktop: both stay disabled and nothing is written. They
    // share the row of the last check boxes, so the dialog fits a screen of 540 points.
    chkFP98 = checkBox(frame, "chkFP98", "Integrate with FrontPage 98");
    chkFP2000 = checkBox(frame, "chkFP2000", "Integrate with FrontPage 2000");
    chkFP98->setEnabled(false);
    chkFP2000->setEnabled(false);
    auto* frontPage = new QVBoxLayout;
    frontPage->addWidget(chkFP98);
    frontPage->addWidget(chkFP2000);

    auto* layout = new QGridLayout(frame);
    layout->addWidget(gifRow, 0, 0, 1, 2);
    int row = 1;
    for (QCheckBox* box : {chkFavorite, chkMaintain, chkImgFll, chkCloseAfter1}) {
        layout->addWidget(box, row++, 0, 1, 2);
    }
    layout->addWidget(chkDelFavs, row, 0);
    layout->addLayout(frontPage, row - 1, 1, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->addWidget(types, ++row, 0, 1, 2);
    layout->setRowStretch(++row, 1);

    connect(cmdCheckAll, &QPushButton::clicked, this, [this] {
        for (QCheckBox* box : fileTypeBoxes) {
            box->setChecked(true);
        }
    });
    connect(cmdCheckNone, &QPushButton::clicked, this, [this] {
        for (QCheckBox* box : fileTypeBoxes) {
            box->setChecked(false);
        }
    });
}

void options::LoadValues() {
    // 4. The editor list and the user's sites, the first entry of each selected.
    if (m_host.editors) {
        m_host.editors->TagList = EditorsList;
        m_host.editors->FillListBox(1);
        selectEditor(0);
    }
    if (m_host.myWebs) {
        m_host.myWebs->NameList = lstWebname;
        m_host.myWebs->TagList = lstWebAddr;
        m_host.myWebs->FillListBox(2);
        selectSite(0);
    }

    // 5. Every setting into its control, and in ApplyOptions's order what each writes back.
    struct Check {
        QCheckBox* box;
        const SettingKey& key;
    };
    const Check checks[] = {
        {chkSystray, keys::kSysTrayIcon}, {chkFollowOp, keys::kFollowOp},
        {chkRecFiles, keys::kRecyc},      {chkLoadTipsAtStartup, keys::kShowTips},
        {chkFlatCtl, keys::kFlatCtl},     {chkLastdir, keys::kLastDirectory},
        {chkRevNav, keys::kFsNav},        {chkDisFSNav, keys::kDisFsNav},
        {chkShowMBalways, keys::kFsMbAl}, {chkGreyMode, keys::kGreyMode},
        {chkBrowsers, keys::kSupportMb},  {chkGIF87a, keys::kGif87a},
        {chkFavorite, keys::kFavorite},   {chkMaintain, keys::kMaintainAss},
        {chkImgFll, keys::kImgFll},       {chkCloseAfter1, keys::kCloseAfter1},
        {chkDelFavs, keys::kDelFavs},
    };
    for (const Check& c : checks) {
        // The deletes read "1" when the key is absent, this box "0".
        const QString text =
            &c.key == &keys::kRecyc ? GetSetting(c.key, QStringLiteral("0")) : GetSetting(c.key);
        c.box->setChecked(text.trimmed() == QStringLiteral("1"));
    }
    for (const auto& [button, key] :
         {std::pair{optShowAlways, &keys::kShowAlways}, std::pair{optShowMinim, &keys::kShowMinim},
          std::pair{optAutowbnm, &keys::kAutoWbnm}, std::pair{optPromptwnm, &keys::kPromptWnm}}) {
        if (storedTrue(GetSetting(*key))) {
            button->setChecked(true);
        }
    }
    Scrollsen->setValue(sensitivity(keys::kScrollSen));
    UDdrg->setValue(sensitivity(keys::kDragSen));
    Check1->setChecked(GetSetting(keys::kImageSize) != QStringLiteral("Normal"));
    Check5->setChecked(GetSetting(keys::kFullScreenInfo) != QStringLiteral("Off"));
    setStartFolder(GetSetting(keys::kStartDir, programFolder()));
    // The immediate reactions of the boxes just set.
    Q_EMIT chkSystray->toggled(chkSystray->isChecked());
    Q_EMIT chkLastdir->toggled(chkLastdir->isChecked());
    Q_EMIT chkDisFSNav->toggled(chkDisFSNav->isChecked());
    Q_EMIT chkBrowsers->toggled(chkBrowsers->isChecked());

    const auto check = [](QCheckBox* box) { return [box] { return checkValue(box); }; };
    const auto option = [](QRadioButton* b) { return [b] { return optionValue(b); }; };
    m_writes = {
        {keys::kImageSize,
         [this] {
             return Check1->isChecked() ? QStringLiteral("Stretch") : QStringLiteral("Normal");
         }},
        {keys::kFsNav, check(chkRevNav)},
        {keys::kDelFavs, check(chkDelFavs)},
        {keys::kImgFll, check(chkImgFll)},
        {keys::kLastDirectory, check(chkLastdir)},
        {keys::kStartDir, [this] { return m_startFolder; }},
        {keys::kFullScreenInfo,
         [this] { return Check5->isChecked() ? QStringLiteral("On") : QStringLiteral("Off"); }},
        {keys::kShowTips, check(chkLoadTipsAtStartup)},
        {keys::kDisFsNav, check(chkDisFSNav)},
        {keys::kFsMbAl, check(chkShowMBalways)},
        {keys::kGreyMode, check(chkGreyMode)},
        {keys::kSupportMb, check(chkBrowsers)},
        {keys::kDragSen, [this] { return QString::number(UDdrg->value()); }},
        {keys::kScrollSen, [this] { return QString::number(Scrollsen->value()); }},
        {keys::kCloseAfter1, check(chkCloseAfter1)},
        {keys::kFollowOp, check(chkFollowOp)},
        {keys::kFlatCtl, check(chkFlatCtl)},
        {keys::kRecyc, check(chkRecFiles)},
        {keys::kPromptWnm, option(optPromptwnm)},
        {keys::kAutoWbnm, option(optAutowbnm)},
        {keys::kSysTrayIcon, check(chkSystray)},
        {keys::kShowAlways, option(optShowAlways)},
        {keys::kShowMinim, option(optShowMinim)},
        {keys::kMaintainAss, check(chkMaintain)},
        {keys::kFavorite, check(chkFavorite)},
        // The two web-editor entries would come here; that editor does not exist here.
        {keys::kGif87a, check(chkGIF87a)},
    };

    // 6-7. PCX only where the program reads it; each type as the desktop has it now.
    FileTypeAssociations associations(this);
    for (int i = 0; i < fileTypeBoxes.size(); ++i) {
        fileTypeBoxes[i]->setChecked(associations.IsTypeAssociated(kAssociationTypes[i]));
        if (QLatin1String(kAssociationTypes[i].code) == QLatin1String("PCX")) {
            fileTypeBoxes[i]->setVisible(m_host.pcxSupported);
        }
    }
}

void options::ApplyOptions() {
    // Every setting in its order, and each section's in one write (a write of the whole file
    // each would keep the window waiting for the disk thirty times).
    QList<std::pair<QString, QList<SettingChange>>> sections;
    const auto add = [&](const SettingKey& key, const QString& text) {
        const QString section = QString::fromLatin1(key.section);
        auto it = std::find_if(sections.begin(), sections.end(),
                               [&](const auto& s) { return s.first == section; });
        if (it == sections.end()) {
            it = sections.insert(sections.end(), {section, {}});
        }
        it->second.append({QString::fromLatin1(key.key), text});
    };
    for (const auto& [key, value] : m_writes) {
        add(key, value());
    }
    for (int i = 0; i < fileTypeBoxes.size(); ++i) {
        add(kAssociationTypes[i].setting, checkValue(fileTypeBoxes[i]));
    }
    for (const auto& [section, changes] : sections) {
        ChangeSettings(QString::fromLatin1(apps::kMain), section, changes);
    }
    FileTypeAssociations associations(this);
    for (int i = 0; i < fileTypeBoxes.size(); ++i) {
        associations.ApplyStoredWish(fileTypeBoxes[i]->isChecked(), kAssociationTypes[i]);
    }
    if (m_host.applied) {
        m_host.applied();
    }
}

void options::setStartFolder(const QString& folder, const QString& tip) {
    m_startFolder = folder;
    startdir->setText(fileNameForDisplay(folder));
    startdir->setAccessibleDescription(fileNameForDisplay(folder));
    startdir->setToolTip(tip.isEmpty() ? fileNameForDisplay(folder) : tip);
    startdir->update();
}

void options::fav_Click() {
    const QList<Favourite> entries = favouriteMenuEntries();
    if (entries.size() == 1 && entries[0].folder.isEmpty()) {
        dialogs().message(QString::fromLatin1(kNoFavouritesSet), MsgButtons::Ok,
                          MsgIcon::Exclamation, QString::fromLatin1(kNoFavouritesTitle), this);
        return;
    }
    mnuFav->clear();
    mnuFavs.clear();
    for (const Favourite& f : entries) {
        QAction* item = mnuFav->addAction(fileNameForDisplay(f.name));
        item->setObjectName(QStringLiteral("mnuFavs_%1").arg(mnuFavs.size()));
        connect(item, &QAction::triggered, this, [this, f] { setStartFolder(f.folder, f.name); });
        mnuFavs << item;
    }
    mnuFav->popup(fav->mapToGlobal(QPoint(0, fav->height())));
}

void options::selectEditor(int row) {
    if (row >= 0 && row < EditorsList->count()) {
        EditorsList->setCurrentRow(row);
        EditorsList_Click();
    }
}

void options::EditorsList_Click() {
    const int row = EditorsList->currentRow();
    if (!m_host.editors || EditorsList->count() == 0 || row < 0) {
        return;
    }
    txtEdNm->setText(m_host.editors->caption(row));
    txtEdNm->setCursorPosition(0);
    txtEdNm->setEnabled(true);
    cmdDelEditor->setEnabled(true);
    cmdChangeEdNm->setEnabled(true);
    EditorsList->setToolTip(fileNameForDisplay(EditorsList->item(row)->text()));
}

void options::cmdAddEditor_Click() {
    if (!m_host.editors) {
        return;
    }
    const int index = AddEditor(*m_host.editors, this);
    if (index >= 0) {
        m_host.editors->FillListBox(1);
        selectEditor(index);
    }
}

void options::cmdChangeEdNm_Click() {
    const int row = EditorsList->currentRow();
    if (!m_host.editors || row < 0) {
        return;
    }
    const QString name = m_host.editors->RenameItem(row);
    if (!name.isEmpty()) {
        txtEdNm->setText(name);
    }
}

void options::cmdDelEditor_Click() {
    const int row = EditorsList->currentRow();
    if (!m_host.editors || row < 0) {
        return;
    }
    if (dialogs().message(QString::fromLatin1(kRemoveEditorQuestion), MsgButtons::YesNo,
                          MsgIcon::None, QString::fromLatin1(kRemoveEditorTitle),
                          this) != MsgAnswer::Yes) {
        return;
    }
    m_host.editors->DelMenuItem(row);
    m_host.editors->FillListBox(1);
    txtEdNm->clear();
    if (EditorsList->count() > 0) {
        selectEditor(0);
    } else {
        txtEdNm->setEnabled(false);
        cmdDelEditor->setEnabled(false);
        cmdChangeEdNm->setEnabled(false);
    }
}

void options::selectSite(int row) {
    if (m_syncingSites || row < 0 || row >= lstWebname->count()) {
        return;
    }
    m_syncingSites = true;
    lstWebname->setCurrentRow(row);
    lstWebAddr->setCurrentRow(row);
    m_syncingSites = false;
    lstWebname->setToolTip(lstWebname->item(row)->text());
    lstWebAddr->setToolTip(lstWebAddr->item(row) ? lstWebAddr->item(row)->text() : QString());
    const bool named = !lstWebname->item(row)->text().isEmpty();
    for (QPushButton* b : Webctls) {
        b->setEnabled(named);
    }
}

void options::Webctls_Click(int index) {
    const int row = lstWebname->currentRow();
    if (!m_host.myWebs || row < 0 || row >= lstWebname->count()) {
        return;
    }
    if (index == 0) {
        const QString name = lstWebname->item(row)->text();
        if (dialogs().message(QStringLiteral("Are you sure you want to delete '") + name +
                                  QStringLiteral("' from your imaging websites"),
                              MsgButtons::YesNo, MsgIcon::None,
                              QString::fromLatin1(kDeleteLinkTitle), this) != MsgAnswer::Yes) {
            return;
        }
        m_host.myWebs->DelMenuItem(row);
    } else {
        m_host.myWebs->RenameItem(row);
    }
    m_host.myWebs->FillListBox(2);
    if (lstWebname->count() > 0) {
        selectSite(std::min(row, lstWebname->count() - 1));
    } else {
        for (QPushButton* b : Webctls) {
            b->setEnabled(false);
        }
    }
}

}  // namespace gv
