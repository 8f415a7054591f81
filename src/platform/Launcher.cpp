#include "platform/Launcher.h"

#include <QFileInfo>
#include <QProcess>

namespace gv {

bool launchDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}

}  // namespace gv
