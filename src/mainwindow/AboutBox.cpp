// The about box and the studio command.

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "external/Updater.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Artwork.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/Paths.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "startup/modInstances.h"

namespace gv {
namespace {

// Secondary windows keep the tray icon from re-showing the main window while they are open.
class SecondaryWindowScope {
public:
    SecondaryWindowScope() { appState().SecondaryWindowOpen = true; }
    ~SecondaryWindowScope() { appState().SecondaryWindowOpen = false; }
};

constexpr const char* kStudioProgram = "gvstudio";

}  // namespace

void frmGlimvane::ShowAbout() {
    QDialog about(this);
    about.setObjectName(QStringLiteral("frmAbout"));
    about.setWindowTitle(QStringLiteral("About Glimvane"));
    auto* layout = new QVBoxLayout(&about);
    auto* logo = new QLabel(&about);
    logo->setPixmap(logoBitmap());
    layout->addWidget(logo);
    auto* text = new QLabel(QStringLiteral("Glimvane %1.%2.%3<br>Image browser and viewer<br>"
                                           "<a href=\"%4\">%4</a>")
                                .arg(GLIMVANE_VERSION_MAJOR)
                                .arg(GLIMVANE_VERSION_MINOR)
                                .arg(GLIMVANE_VERSION_REV)
                                .arg(QString::fromLatin1(kHomePage)),
                            &about);
    text->setOpenExternalLinks(true);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    QPushButton* update = buttons->addButton(QStringLiteral("Glimvane Update"),
                                             QDialogButtonBox::ActionRole);
    QObject::connect(update, &QPushButton::clicked, &about, [] { LaunchUpdater(0); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    SecondaryWindowScope secondary;
    dialogs().execModal(about);
}

void frmGlimvane::OpenStudio() {
    const QString folder = GetSetting(keys::kStudioPath, programFolder());
    const QString program = joinPath(folder, QString::fromLatin1(kStudioProgram));
    if (QFileInfo(program).isFile() && launchDetached(program)) {
        return;
    }
    QDialog presentation(this);
    presentation.setObjectName(QStringLiteral("frmStudio"));
    presentation.setWindowTitle(QStringLiteral("Glimvane Studio"));
    auto* layout = new QVBoxLayout(&presentation);
    layout->addWidget(new QLabel(
        QStringLiteral("Glimvane Studio edits, retouches and converts the images you find with "
                       "Glimvane.\nIt is not installed on this computer."),
        &presentation));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &presentation);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &presentation, &QDialog::reject);
    layout->addWidget(buttons);
    SecondaryWindowScope secondary;
    dialogs().execModal(presentation);
}

}  // namespace gv
