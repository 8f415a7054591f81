#include "platform/Modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace gv {

QString executablePath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? QString::fromLocal8Bit(buffer, n) : QString();
}

void* moduleEntry(const char* fileName, const char* entry) {
    const QByteArray path = QFile::encodeName(QFileInfo(executablePath()).absolutePath() +
                                              QLatin1Char('/') + QLatin1StringView(fileName));
    void* handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    return handle ? dlsym(handle, entry) : nullptr;
}

}  // namespace gv
