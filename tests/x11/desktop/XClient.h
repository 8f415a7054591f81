#pragma once
// Another X client for the tests: its own connection to the test script's server, windows
// that show a known picture, key grabs of its own, and the keyboard and mouse of XTEST.

#include <xcb/xcb.h>

#include <QImage>
#include <QRect>
#include <QString>

namespace gvtest {

class XClient {
public:
    XClient();
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool connected() const { return m_c != nullptr; }
    xcb_window_t root() const { return m_root; }
    QSize rootSize() const { return m_rootSize; }

    // A top-level window that shows the picture (its size), mapped; the window manager frames
    // and places it. Waits until it is on the screen.
    xcb_window_t showWindow(const QImage& picture, const QString& title);
    // Asks the window manager to bring it to the front with the focus; waits until it says so.
    bool activate(xcb_window_t w);
    bool maximise(xcb_window_t w);
    xcb_window_t activeWindow();
    // On the root window: the window itself, and its frame (the top level the window manager
    // made around it).
    QRect rootRect(xcb_window_t w);
    QRect frameRect(xcb_window_t w);
    bool isViewable(xcb_window_t w);

    // Another program makes a picture the root window's background (_XROOTPMAP_ID).
    void setRootPicture();

    // Grabs the key combination for this client, as another program holding it.
    bool grabKey(uint16_t modifiers, quint32 keysym);
    void ungrabKey(uint16_t modifiers, quint32 keysym);
    // XTEST input.
    void key(quint32 keysym, bool press);
    void tap(const QList<quint32>& keysyms);
    void moveMouse(QPoint to);
    void button(int number, bool press);
    void sync();

private:
    xcb_keycode_t keycode(quint32 keysym);
    xcb_atom_t atom(const char* name);
    void clientMessage(xcb_window_t w, const char* type, quint32 d0, quint32 d1, quint32 d2);

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    QSize m_rootSize;
    uint8_t m_depth = 24;
    QList<xcb_window_t> m_windows;
};

// The picture of a test window: every pixel tells its place.
QImage placePattern(QSize size, int seed);

}  // namespace gvtest
