#include "capture/clsHotkeys.h"

#include <QWidget>
#include <chrono>

#include "capture/AtomTable.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Paths.h"

namespace gv {
namespace {

// Milliseconds since an arbitrary start, in 32 bits, as a system tick count.
quint32 tickCount() {
    using namespace std::chrono;
    return static_cast<quint32>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QString withSystemText(const QString& description, const QString& systemText) {
    return systemText.isEmpty()
               ? description
               : description + QStringLiteral(" [") + systemText + QLatin1Char(']');
}

}  // namespace

clsHotkeys::clsHotkeys(QObject* parent) : QObject(parent) {
    connect(&globalHotkeys(), &GlobalHotkeys::pressed, this,
            [this](quintptr owner, int id, quint32 lParam) {
                if (m_hwnd != 0 && owner == m_hwnd) {
                    ISubclass_WindowProc(owner, kWmHotkey, id, lParam);
                }
            });
}

clsHotkeys::~clsHotkeys() {
    Clear();
}

QString clsHotkeys::errorSource() {
    return QString::fromLatin1(kExecutableName) + QStringLiteral(".cRegHotKey");
}

void clsHotkeys::Attach(quintptr hwndA) {
    Clear();
    m_hwnd = hwndA;
}

void clsHotkeys::Clear() {
    while (!m_keys.isEmpty()) {
        UnregisterKey(m_keys.first().sName);
    }
    m_hwnd = 0;
}

void clsHotkeys::RegisterKey(const QString& sName, int eKey, int eModifiers) {
    if (sName.size() > kMaxNameLength) {
        throw ObjectError{kErrRegister, errorSource(),
                          QStringLiteral("Key Name too long (max 32 characters).")};
    }
    for (const KeyRecord& k : m_keys) {
        if (k.sName == sName) {
            throw ObjectError{kErrDuplicate, errorSource(),
                              QStringLiteral("The Key Name '") + sName +
                                  QStringLiteral("' is already registered.")};
        }
    }
    const QString atomName = (sName + QLatin1Char('_') + QString::fromLatin1(kExecutableName) +
                              QLatin1Char('_') + QString::number(tickCount()))
                                 .left(kMaxAtomNameLength);
    AtomTable& atoms = programAtoms();
    const int id = atoms.add(atomName);
    if (id == 0) {
        throw ObjectError{kErrAtom, errorSource(), QStringLiteral("Failed to add GlobalAtom")};
    }
    QString systemText;
    if (!globalHotkeys().grab(m_hwnd, id, static_cast<quint32>(eModifiers),
                              static_cast<quint32>(eKey), &systemText)) {
        atoms.remove(id);
        throw ObjectError{kErrRegister, errorSource(),
                          withSystemText(QStringLiteral("Failed to Register Hot Key"), systemText)};
    }
    m_keys << KeyRecord{sName, atomName, id, eKey, eModifiers};
}

void clsHotkeys::UnregisterKey(const QString& sName) {
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i].sName == sName) {
            const KeyRecord key = m_keys.takeAt(i);
            globalHotkeys().release(m_hwnd, key.id);
            programAtoms().remove(key.id);
            return;
        }
    }
    throw ObjectError{
        kErrNoSuchKey, errorSource(),
        QStringLiteral("No hot key registered under the name '") + sName + QLatin1Char('\'')};
}

void clsHotkeys::RestoreAndActivate(QWidget* window) {
    if (!window) {
        return;
    }
    if (!window->isVisible()) {
        window->show();
    }
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->raise();
    window->activateWindow();
}

int clsHotkeys::ISubclass_WindowProc(quintptr, int iMsg, qintptr wParam, qintptr lParam) {
    if (iMsg != kWmHotkey) {
        return 0;
    }
    if (wParam == kIdHotSnapDesktop) {
        Q_EMIT HotKeyPress(QStringLiteral("Desktop Snapshot"), 0, 44);
    } else if (wParam == kIdHotSnapWindow) {
        Q_EMIT HotKeyPress(QStringLiteral("Window Snapshot"), 4, 44);
    } else {
        for (const KeyRecord& k : m_keys) {
            if (k.id == wParam) {
                // The handler may unregister this very key: the record is copied first.
                const KeyRecord pressed = k;
                Q_EMIT HotKeyPress(pressed.sName, pressed.eModifiers, pressed.eKey);
                return 0;
            }
        }
        const auto bits = static_cast<quint32>(lParam);
        Q_EMIT HotKeyPress(QStringLiteral("Unknown HotKey"), static_cast<int>(bits & 0xffff),
                           static_cast<int>(bits >> 16));
    }
    return 0;
}

}  // namespace gv
