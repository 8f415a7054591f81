#include "platform/Trace.h"

#include <QFile>

#include "platform/FileNameBytes.h"

namespace gv {

bool traceEnabled() {
    static const bool enabled = !qEnvironmentVariableIsEmpty("GLIMVANE_TRACE");
    return enabled;
}

void trace(const QString& line) {
    if (!traceEnabled()) {
        return;
    }
    QFile f(qEnvironmentVariable("GLIMVANE_TRACE"));
    if (f.open(QIODevice::Append | QIODevice::Text)) {
        f.write(fileNameToBytes(line) + '\n');
    }
}

}  // namespace gv
