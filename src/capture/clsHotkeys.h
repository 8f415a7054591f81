#pragma once
// System-wide hot keys for one window: each key the caller registers under a name of its own
// is grabbed for the whole desktop, identified by an atom made unique per key and per start,
// and its press is reported as the HotKeyPress event with that name. Misuse and refusals are
// raised as ObjectError.

#include <QList>
#include <QObject>
#include <QString>

#include "external/ObjectError.h"

class QWidget;

namespace gv {

class clsHotkeys final : public QObject {
    Q_OBJECT
public:
    static constexpr int kErrNoSuchKey = kObjectErrorBase + 1049;
    static constexpr int kErrAtom = kObjectErrorBase + 1050;
    static constexpr int kErrRegister = kObjectErrorBase + 1051;
    static constexpr int kErrDuplicate = kObjectErrorBase + 1052;
    static constexpr int kMaxNameLength = 32;
    static constexpr int kMaxAtomNameLength = 254;
    static constexpr int kWmHotkey = 0x312;
    static constexpr qintptr kIdHotSnapWindow = -1;
    static constexpr qintptr kIdHotSnapDesktop = -2;

    struct KeyRecord {
        QString sName;
        QString atomName;
        int id = 0;
        int eKey = 0;
        int eModifiers = 0;
    };

    explicit clsHotkeys(QObject* parent = nullptr);
    ~clsHotkeys() override;

    // Clear, then listen for the hot keys of the window (0: of none).
    void Attach(quintptr hwndA);
    // Every key unregistered; the window let go.
    void Clear();
    void RegisterKey(const QString& sName, int eKey, int eModifiers);
    void UnregisterKey(const QString& sName);
    // Shows, restores and brings the window to the front.
    static void RestoreAndActivate(QWidget* window);

    int ISubclass_MsgResponse() const { return 2; }
    // The attached window's hot-key message; always answers 0.
    int ISubclass_WindowProc(quintptr hwnd, int iMsg, qintptr wParam, qintptr lParam);

    quintptr attachedWindow() const { return m_hwnd; }
    const QList<KeyRecord>& keys() const { return m_keys; }
    // "<executable>.cRegHotKey", the source of every error raised.
    static QString errorSource();

Q_SIGNALS:
    void HotKeyPress(const QString& sName, int eModifiers, int eKey);

private:
    quintptr m_hwnd = 0;
    QList<KeyRecord> m_keys;
};

}  // namespace gv
