#include "external/Updater.h"

#include <QFileInfo>

#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/Paths.h"

namespace gv {

void LaunchUpdater(int mode) {
    const QString program = joinPath(programFolder(), QString::fromLatin1(kUpdateName));
    QStringList arguments;
    switch (mode) {
        case 1: arguments << QStringLiteral("links"); break;
        case 2: arguments << QStringLiteral("gvupdate"); break;
        case 3: arguments << QStringLiteral("submitweb"); break;
        default: break;
    }
    if (QFileInfo(program).isFile() && launchDetached(program, arguments)) {
        return;
    }
    dialogs().message(QStringLiteral("The Glimvane Update executable file 'gvupdate.exe' could "
                                     "not be found!\r\n\r\nPlease reinstall Glimvane!"),
                      MsgButtons::Ok, MsgIcon::Critical,
                      QStringLiteral("Glimvane Update cannot launch!"));
}

}  // namespace gv
