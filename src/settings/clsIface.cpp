#include "settings/clsIface.h"

#include <cmath>

#include "settings/SettingKeys.h"

namespace gv {
namespace {

int readIface(const SettingKey& k) {
    const int fallback = QString::fromUtf8(k.defaultValue).toInt();
    return settingToInt(GetSetting(k), fallback);
}

void writeIface(const SettingKey& k, int value) {
    SaveSetting(k, QString::number(value));
}

}  // namespace

int settingToInt(const QString& text, int fallback) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v > 2147483647.0 || v < -2147483648.0) {
        return fallback;
    }
    return static_cast<int>(std::lround(v));
}

clsIface::clsIface(QObject* parent) : QObject(parent) {
    m_browserMode = readIface(keys::kBrowserMode);
    m_browserTools = readIface(keys::kBrowserTools);
    m_browserToolsDockMode = readIface(keys::kBrowserDock);
    m_fileseekToggle = readIface(keys::kFileseekToggle);
    m_browserToolsWidth = readIface(keys::kBtWidth);
    if (m_browserToolsWidth < kMinBrowserToolsWidth) {
        m_browserToolsWidth = kMinBrowserToolsWidth;
    }
}

clsIface::~clsIface() {
    writeIface(keys::kBrowserMode, m_browserMode);
    writeIface(keys::kBrowserTools, m_browserTools);
    writeIface(keys::kBrowserDock, m_browserToolsDockMode);
    writeIface(keys::kFileseekToggle, m_fileseekToggle);
    writeIface(keys::kBtWidth, m_browserToolsWidth);
}

void clsIface::setBrowserTools(int value) {
    m_browserTools = value;
    Q_EMIT Change();
}

void clsIface::setBrowserToolsWidth(int value) {
    m_browserToolsWidth = value;
}

void clsIface::setBrowserToolsDockMode(int value) {
    m_browserToolsDockMode = value;
    Q_EMIT Change();
}

void clsIface::setFileseekToggle(int value) {
    m_fileseekToggle = value;
    Q_EMIT Change();
}

void clsIface::setBrowserMode(int value) {
    m_browserMode = value;
    Q_EMIT Change();
}

}  // namespace gv
