#include "platform/GlobalHotkeys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QList>
#include <cstdlib>

#include "platform/X11Connection.h"

namespace gv {
namespace {

constexpr quint32 kNumLockKeysym = 0xff7f;

// A combination another client has grabbed: the X server answers BadAccess.
constexpr const char* kBadAccessText =
    "Another program holds this key combination (X error BadAccess).";
constexpr const char* kAlreadyHeldText = "Hot key is already registered.";
constexpr const char* kNoKeyText = "No key of this keyboard gives that key.";
constexpr const char* kNoDisplayText = "Global hot keys need the X Window System.";

struct Grab {
    quintptr owner = 0;
    int id = 0;
    xcb_keycode_t keycode = 0;
    uint16_t mask = 0;  // X modifiers, without the lock states
    quint32 lParam = 0;
};

class XcbHotkeys final : public GlobalHotkeys, public QAbstractNativeEventFilter {
public:
    XcbHotkeys() {
        if (auto* app = QCoreApplication::instance()) {
            // Grabs end with the program's connection; while it is still open they are given
            // back, and nothing is sent to it after.
            connect(app, &QCoreApplication::aboutToQuit, this, [this] { releaseAll(); });
        }
    }
    ~XcbHotkeys() override {
        if (m_filtering && QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
    }

    bool grab(quintptr owner, int id, quint32 modifiers, quint32 virtualKey,
              QString* systemText) override {
        const auto fail = [systemText](const char* text) {
            if (systemText) {
                *systemText = QString::fromLatin1(text);
            }
            return false;
        };
        xcb_connection_t* c = x11::connection();
        if (!c || !x11::sharedWithQt()) {
            return fail(kNoDisplayText);
        }
        const xcb_keycode_t keycode = keycodeOf(c, keysymOfVirtualKey(virtualKey));
        if (keycode == 0) {
            return fail(kNoKeyText);
        }
        const uint16_t mask = xModifiers(modifiers);
        for (const Grab& g : m_grabs) {
            if ((g.keycode == keycode && g.mask == mask) || (g.owner == owner && g.id == id)) {
                return fail(kAlreadyHeldText);
            }
        }
        const uint16_t numLock = numLockMask(c);
        QList<uint16_t> taken;
        for (uint16_t locks : {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), numLock,
                               uint16_t(numLock | XCB_MOD_MASK_LOCK)}) {
            if (taken.contains(uint16_t(mask | locks))) {
                continue;  // no NumLock modifier on this keyboard
            }
            xcb_generic_error_t* error = xcb_request_check(
                c, xcb_grab_key_checked(c, 1, x11::root(), mask | locks, keycode,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            if (error) {
                std::free(error);
                for (uint16_t m : taken) {
                    xcb_ungrab_key(c, keycode, x11::root(), m);
                }
                x11::sync();
                return fail(kBadAccessText);
            }
            taken << uint16_t(mask | locks);
        }
        m_grabs << Grab{owner, id, keycode, mask, (modifiers & 0xffff) | (virtualKey << 16)};
        if (!m_filtering) {
            QCoreApplication::instance()->installNativeEventFilter(this);
            m_filtering = true;
        }
        return true;
    }

    bool release(quintptr owner, int id) override {
        for (qsizetype i = 0; i < m_grabs.size(); ++i) {
            if (m_grabs[i].owner == owner && m_grabs[i].id == id) {
                ungrab(m_grabs.takeAt(i));
                x11::sync();
                return true;
            }
        }
        return false;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
            return false;
        }
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        const uint16_t mask = key->state & kModifierMasks;
        for (const Grab& g : m_grabs) {
            if (g.keycode == key->detail && g.mask == mask) {
                if (type == XCB_KEY_PRESS) {
                    // The handler may let go of this very key.
                    const Grab pressedGrab = g;
                    Q_EMIT pressed(pressedGrab.owner, pressedGrab.id, pressedGrab.lParam);
                }
                return true;
            }
        }
        return false;
    }

private:
    static constexpr uint16_t kModifierMasks =
        XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

    static uint16_t xModifiers(quint32 modifiers) {
        uint16_t mask = 0;
        if (modifiers & kHotkeyAlt) {
            mask |= XCB_MOD_MASK_1;
        }
        if (modifiers & kHotkeyCtrl) {
            mask |= XCB_MOD_MASK_CONTROL;
        }
        if (modifiers & kHotkeyShift) {
            mask |= XCB_MOD_MASK_SHIFT;
        }
        if (modifiers & kHotkeyWin) {
            mask |= XCB_MOD_MASK_4;
        }
        return mask;
    }

    static xcb_keycode_t keycodeOf(xcb_connection_t* c, quint32 keysym) {
        if (keysym == 0) {
            return 0;
        }
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return code == XCB_NO_SYMBOL ? 0 : code;
    }

    // The modifier that NumLock sets on this keyboard (Mod2 on most).
    static uint16_t numLockMask(xcb_connection_t* c) {
        const xcb_keycode_t numLock = keycodeOf(c, kNumLockKeysym);
        xcb_get_modifier_mapping_reply_t* r =
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
        uint16_t mask = 0;
        if (r && numLock != 0) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(r);
            for (int m = 0; m < 8 && mask == 0; ++m) {
                for (int k = 0; k < r->keycodes_per_modifier; ++k) {
                    if (codes[m * r->keycodes_per_modifier + k] == numLock) {
                        mask = uint16_t(1u << m);
                        break;
                    }
                }
            }
        }
        std::free(r);
        return mask;
    }

    void ungrab(const Grab& g) {
        xcb_connection_t* c = x11::connection();
        if (!c) {
            return;
        }
        const uint16_t numLock = numLockMask(c);
        for (uint16_t locks : {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), numLock,
                               uint16_t(numLock | XCB_MOD_MASK_LOCK)}) {
            xcb_ungrab_key(c, g.keycode, x11::root(), g.mask | locks);
        }
    }

    void releaseAll() {
        for (const Grab& g : m_grabs) {
            ungrab(g);
        }
        m_grabs.clear();
        x11::sync();
    }

    QList<Grab> m_grabs;
    bool m_filtering = false;
};

std::unique_ptr<GlobalHotkeys>& slot() {
    static std::unique_ptr<GlobalHotkeys> current;
    return current;
}

}  // namespace

GlobalHotkeys& globalHotkeys() {
    std::unique_ptr<GlobalHotkeys>& s = slot();
    if (!s) {
        s = std::make_unique<XcbHotkeys>();
    }
    return *s;
}

std::unique_ptr<GlobalHotkeys> setGlobalHotkeys(std::unique_ptr<GlobalHotkeys> replacement) {
    std::unique_ptr<GlobalHotkeys> previous = std::move(slot());
    slot() = std::move(replacement);
    return previous;
}

quint32 keysymOfVirtualKey(quint32 vk) {
    if (vk >= 0x70 && vk <= 0x87) {
        return 0xffbe + (vk - 0x70);  // F1 ... F24
    }
    if ((vk >= '0' && vk <= '9')) {
        return vk;
    }
    if (vk >= 'A' && vk <= 'Z') {
        return vk + ('a' - 'A');  // letters are grabbed by their key, named in lower case
    }
    if (vk >= 0x60 && vk <= 0x69) {
        return 0xffb0 + (vk - 0x60);  // the number pad's digits
    }
    switch (vk) {
        case 0x08:
            return 0xff08;  // Backspace
        case 0x09:
            return 0xff09;  // Tab
        case 0x0d:
            return 0xff0d;  // Return
        case 0x13:
            return 0xff13;  // Pause
        case 0x1b:
            return 0xff1b;  // Escape
        case 0x20:
            return 0x0020;  // space
        case 0x21:
            return 0xff55;  // Page Up
        case 0x22:
            return 0xff56;  // Page Down
        case 0x23:
            return 0xff57;  // End
        case 0x24:
            return 0xff50;  // Home
        case 0x25:
            return 0xff51;  // Left
        case 0x26:
            return 0xff52;  // Up
        case 0x27:
            return 0xff53;  // Right
        case 0x28:
            return 0xff54;  // Down
        case 0x2c:
            return 0xff61;  // Print Screen
        case 0x2d:
            return 0xff63;  // Insert
        case 0x2e:
            return 0xffff;  // Delete
        default:
            return 0;
    }
}

}  // namespace gv
