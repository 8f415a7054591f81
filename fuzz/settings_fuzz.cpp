// libFuzzer target for the settings store reading a file of any bytes: reading never fails,
// and a value written afterwards reads back unchanged, whatever the file held before.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "platform/Settings.h"

namespace {

QTemporaryDir& home() {
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("XDG_CONFIG_HOME", home().path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString app = QStringLiteral("Glimvane2");
    const QString path = gv::settingsFilePath(app);
    QDir folder = QFileInfo(path).dir();
    folder.mkpath(QStringLiteral("."));
    // A new file each time (written beside and renamed), as another program would leave it.
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
        folder.remove(name);
    }
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size)) {
        return 0;
    }
    file.close();
    QFile::rename(file.fileName(), path);

    gv::GetAllSettings(app, QStringLiteral("Options"));
    gv::GetSetting(app, QStringLiteral("Options"), QStringLiteral("Show Tips at Startup"));
    const QString value = QStringLiteral("C:/Bilder/\u00fc, \"x\"; y=z [a]\\b");
    gv::SaveSetting(app, QStringLiteral("Options"), QStringLiteral("LastDirectory"), value);
    if (gv::GetSetting(app, QStringLiteral("options"), QStringLiteral("lastdirectory")) != value) {
        std::abort();
    }
    gv::takeSettingsFileNotices();
    return 0;
}
