#pragma once
// System-wide hot keys: key combinations grabbed on the X root window, so that they reach the
// program whichever window has the focus, delivered through a native event filter. The
// program names keys as Windows virtual-key codes (F1 = 112 ... F12 = 123) with the modifier
// flags Alt 1, Ctrl 2, Shift 4, Win 8; each grab also covers the NumLock and CapsLock states.
// Tests install a scripted stand-in.

#include <QObject>
#include <QString>
#include <memory>

namespace gv {

inline constexpr quint32 kHotkeyAlt = 1;
inline constexpr quint32 kHotkeyCtrl = 2;
inline constexpr quint32 kHotkeyShift = 4;
inline constexpr quint32 kHotkeyWin = 8;

class GlobalHotkeys : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~GlobalHotkeys() override = default;

    // Takes the combination for the owner (a window id) under the id. False, with the
    // system's reason in *systemText, when it cannot be taken: another program holds it, or
    // this program already does under another id.
    virtual bool grab(quintptr owner, int id, quint32 modifiers, quint32 virtualKey,
                      QString* systemText) = 0;
    // Lets go of the combination of the owner's id; false when it held none.
    virtual bool release(quintptr owner, int id) = 0;

Q_SIGNALS:
    // A held combination was pressed. lParam carries the modifiers in its low 16 bits and the
    // virtual-key code in its high 16 bits, as a hot-key message does.
    void pressed(quintptr owner, int id, quint32 lParam);
};

GlobalHotkeys& globalHotkeys();
// Replaces the service (tests install a scripted one); null restores the real one.
std::unique_ptr<GlobalHotkeys> setGlobalHotkeys(std::unique_ptr<GlobalHotkeys> replacement);

// The X keysym of a virtual-key code; 0 for a code without one here.
quint32 keysymOfVirtualKey(quint32 virtualKey);

}  // namespace gv
