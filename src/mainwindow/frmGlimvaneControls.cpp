// The controls of the main window, with their names, design-time texts and tooltips.

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTreeView>

#include "mainwindow/frmGlimvane.h"
#include "platform/Artwork.h"
#include "platform/Controls.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderTreeModel.h"
#include "widgets/ImageBox.h"

namespace gv {
namespace {

SoftButton* softButton(QWidget* parent, const QString& name, const QString& tip, const QIcon& icon,
                       int index = -1) {
    auto* b = new SoftButton(parent);
    b->setObjectName(name);
    b->setToolTipText(tip);
    b->setIcon(icon);
    b->setIndex(index);
    return b;
}

QLabel* headerLabel(QWidget* parent, const char* name, const QString& text) {
    auto* l = named(new QLabel(text, parent), name);
    l->setAutoFillBackground(true);
    l->setIndent(22);
    l->setAccessibleName(text.isEmpty() ? QString::fromLatin1(name) : text);
    return l;
}

}  // namespace

void frmGlimvane::buildControls() {
    inner = named(new QWidget(this), "inner");
    setCentralWidget(inner);

    // Toolbar row: the buttons, the logo at its right end and two separator lines below.
    toolbarRow = named(new QWidget(inner), "toolbarRow");
    Toolbar.clear();
    static const char* const kTips[kToolbarCount] = {
        "Navigate Back", "Navigate Forward",    "Go Home", "Refresh",       "Directories Toggle",
        "Full Screen",   "Display Mode Toggle", "Options", "Help Contents", "Capture Screen"};
    for (int i = 0; i < kToolbarCount; ++i) {
        auto* b = softButton(toolbarRow, QStringLiteral("Toolbar_%1").arg(i),
                             QString::fromLatin1(kTips[i]), toolbarIcon(i), i);
        b->setGeometry(4 + i * 36 + (i >= 5 ? 8 : 0), 2, 34, 34);
        Toolbar << b;
    }
    Toolbar[4]->setIcon(iconResource(103));
    Image2 = named(new QLabel(inner), "Image2");
    Image2->setPixmap(toolbarLogo());
    Image2->setToolTip(QStringLiteral("About Glimvane..."));
    Image2->setAccessibleName(QStringLiteral("About Glimvane..."));
    Image2->resize(Image2->pixmap().deviceIndependentSize().toSize());
    Line1 = named(new QFrame(inner), "Line1_1");
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line2 = named(new QFrame(inner), "Line2_1");
    Line2->setFrameShape(QFrame::HLine);
    Line2->setFrameShadow(QFrame::Plain);

    // The image view.
    Picture1 = named(new ViewArea(inner), "Picture1");
    Picture1->setAccessibleName(QStringLiteral("Image View"));
    Image1 = named(new ImageBox(Picture1), "Image1");
    Image1->setAccessibleName(QStringLiteral("Image"));
    aniImg = named(new QLabel(Picture1), "aniImg");
    aniImg->setScaledContents(true);
    aniImg->hide();
    // The selection rectangle lives in the image's own coordinates; its label on the view,
    // as it may stand beyond the image's edge.
    lblSelSize = named(new QLabel(QStringLiteral("size"), Picture1), "lblSelSize");
    lblSelSize->setStyleSheet(QStringLiteral("color: white; background: rgba(0,0,0,140);"));
    lblSelSize->hide();
    Shape1 = named(new QFrame(Image1), "Shape1");
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setStyleSheet(QStringLiteral("QFrame#Shape1 { border: 1px dashed white; }"));
    Shape1->hide();
    VScroll1 = named(new QScrollBar(Qt::Vertical, inner), "VScroll1");
    HScroll1 = named(new QScrollBar(Qt::Horizontal, inner), "HScroll1");
    VScroll1->setAccessibleName(QStringLiteral("Vertical Scroll"));
    HScroll1->setAccessibleName(QStringLiteral("Horizontal Scroll"));
    TilePic = softButton(inner, QStringLiteral("TilePic"), QStringLiteral("Tile Mode Toggle"),
                         iconResource(105));
    TilePic->resize(17, 17);
    TilePic->setIconSize(QSize(14, 14));

    // The splitter and its moving bar.
    imgSplitter = named(new QWidget(inner), "imgSplitter");
    imgSplitter->setCursor(Qt::SplitHCursor);
    picSplitter = named(new QWidget(inner), "picSplitter");
    picSplitter->setAutoFillBackground(true);
    picSplitter->setStyleSheet(QStringLiteral("background: #404040;"));
    picSplitter->hide();

    // The browser panel.
    FraFiles = named(new QFrame(inner), "FraFiles");
    FraFiles->setFrameShape(QFrame::NoFrame);
    lblBTfiles = headerLabel(FraFiles, "lblBTfiles", QStringLiteral("Browser Tools"));
    lblBTCap = named(new QLabel(QStringLiteral("Directories"), FraFiles), "lblBTCap");
    lblBTCap->setAccessibleName(QStringLiteral("Directories"));
    imgBrowserTools.clear();
    const PanelGlyph headerGlyphs[3] = {PanelGlyph::Folder, PanelGlyph::Favourite,
                                        PanelGlyph::Search};
    for (int i = 0; i < 3; ++i) {
        auto* icon = new QLabel(FraFiles);
        icon->setObjectName(QStringLiteral("imgBrowserTools_%1").arg(i));
        icon->setPixmap(panelIcon(headerGlyphs[i]).pixmap(16, 16));
        icon->resize(16, 16);
        imgBrowserTools << icon;
    }
    imgBrowserTools[1]->hide();
    SoftBttn1 = softButton(FraFiles, QStringLiteral("SoftBttn1"),
                           QStringLiteral("Close Browser Tools"), panelIcon(PanelGlyph::Close));
    stbBTRefresh =
        softButton(FraFiles, QStringLiteral("stbBTRefresh"),
                   QStringLiteral("Refresh Browser Tools"), panelIcon(PanelGlyph::Refresh));
    sbtToggleDock = softButton(FraFiles, QStringLiteral("sbtToggleDock"),
                               QStringLiteral("Toggle Docking"), panelIcon(PanelGlyph::Dock));
    for (SoftButton* b : {SoftBttn1, stbBTRefresh, sbtToggleDock}) {
        b->resize(18, 18);
        b->setIconSize(QSize(14, 14));
    }

    Drive1 = named(new VolumeComboBox(FraFiles), "Drive1");
    Drive1->setAccessibleName(QStringLiteral("Drives"));
    Dir1 = named(new QListWidget(FraFiles), "Dir1");
    Dir1->setAccessibleName(QStringLiteral("Folders"));
    Dir1->hide();  // the folder tree shows the folders; the list keeps the current folder
    m_folderModel = new FolderTreeModel(this);
    m_folderModel->setIconProvider(folderTreeIcons());
    ftvDirs = named(new QTreeView(FraFiles), "ftvDirs");
    setFolderTreeModel(ftvDirs, m_folderModel);
    ftvDirs->header()->hide();
    // The names column is as wide as its names, so deep folders can be scrolled to.
    ftvDirs->header()->setStretchLastSection(false);
    ftvDirs->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ftvDirs->setAccessibleName(QStringLiteral("Folder Tree"));
    FavList = named(new QListWidget(FraFiles), "FavList");
    FavList->setAccessibleName(QStringLiteral("Favourites"));
    FavList->hide();
    File1 = named(new FileListBox(FraFiles), "File1");
    File1->setAccessibleName(QStringLiteral("Files"));
    File1->setProperty("pattern", QStringLiteral("*.bmp;*.wmf;*.ico;*.gif;*.jpg;*.emf;*.cur"));

    Picture2 = named(new QWidget(FraFiles), "Picture2");
    Fbts.clear();
    static const char* const kFileTips[kFileButtonCount] = {"Delete File", "Copy File", "Move File",
                                                            "Rename File"};
    const PanelGlyph fileGlyphs[kFileButtonCount] = {PanelGlyph::Delete, PanelGlyph::Copy,
                                                     PanelGlyph::Move, PanelGlyph::Rename};
    for (int i = 0; i < kFileButtonCount; ++i) {
        auto* b = softButton(Picture2, QStringLiteral("Fbts_%1").arg(i),
                             QString::fromLatin1(kFileTips[i]), panelIcon(fileGlyphs[i]), i);
        b->setGeometry(2 + i * 26, 2, 24, 24);
        b->setIconSize(QSize(16, 16));
        Fbts << b;
    }
    Picture2->resize(4 + kFileButtonCount * 26, 28);

    lblBTFiles2 = headerLabel(FraFiles, "lblBTFiles2", QString());
    Label3 = named(new QLabel(QStringLiteral("Fileseek"), FraFiles), "Label3");
    Label3->setAccessibleName(QStringLiteral("Fileseek"));
    // The search picture sits on the Fileseek header, made after it.
    imgBrowserTools[2]->raise();
    sbtCloseFileseek = softButton(FraFiles, QStringLiteral("sbtCloseFileseek"),
                                  QStringLiteral("Close Fileseek"), panelIcon(PanelGlyph::Close));
    sbtCloseFileseek->resize(18, 18);
    sbtCloseFileseek->setIconSize(QSize(14, 14));
    txtSearch = named(new QLineEdit(QStringLiteral("Enter search here"), FraFiles), "txtSearch");
    txtSearch->setToolTip(QStringLiteral("Search String"));
    txtSearch->setAccessibleName(QStringLiteral("Search String"));
    txtSearch->setFont(QFont(QStringLiteral("Arial")));
    List1 = named(new QListWidget(FraFiles), "List1");
    // One line of text a row: thousands of results are laid out without measuring each.
    List1->setUniformItemSizes(true);
    List1->setToolTip(QStringLiteral("Search Results"));
    List1->setAccessibleName(QStringLiteral("Search Results"));

    // Hidden fields: the type key of the shown file and the image information labels.
    Text1 = named(new QLineEdit(inner), "Text1");
    Text1->hide();
    FileName = named(new QLabel(inner), "FileName");
    ImDimen = named(new QLabel(inner), "ImDimen");
    ImageSize = named(new QLabel(inner), "ImageSize");
    ftype = named(new QLabel(inner), "ftype");
    FileDate = named(new QLabel(inner), "FileDate");
    for (QLabel* l : {FileName, ImDimen, ImageSize, ftype, FileDate}) {
        l->hide();
    }

    // The information bar is part of the inner area, along its bottom edge.
    SB1 = named(new KeyedStatusBar(inner), "SB1");
    SB1->setSizeGripEnabled(false);
    SB1->setToolTip(QStringLiteral("Image Information"));
    SB1->setAccessibleName(QStringLiteral("Image Information"));
}

}  // namespace gv
