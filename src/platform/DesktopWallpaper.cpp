#include "platform/DesktopWallpaper.h"

#include <xcb/xcb.h>

#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/FileNameBytes.h"

namespace gv {
namespace {

constexpr int kToolTimeoutMs = 5000;

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr) {
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        return false;
    }
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(kToolTimeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    if (output) {
        *output = QString::fromUtf8(p.readAllStandardOutput());
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool gsettings(const QString& schema, const QString& uriKey, const QString& value,
               const QString& options) {
    return run(QStringLiteral("gsettings"), {QStringLiteral("set"), schema, uriKey, value}) &&
           run(QStringLiteral("gsettings"),
               {QStringLiteral("set"), schema, QStringLiteral("picture-options"), options});
}

bool xfce(const QString& path, bool tiled) {
    QString list;
    if (!run(QStringLiteral("xfconf-query"),
             {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-l")},
             &list)) {
        return false;
    }
    bool any = false;
    for (const QString& property : list.split(u'\n', Qt::SkipEmptyParts)) {
        if (property.endsWith(QStringLiteral("/last-image"))) {
            QString style = property;
            style.replace(QStringLiteral("/last-image"), QStringLiteral("/image-style"));
            any |= run(QStringLiteral("xfconf-query"),
                       {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                        property, QStringLiteral("-s"), path});
            run(QStringLiteral("xfconf-query"),
                {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"), style,
                 QStringLiteral("-s"), tiled ? QStringLiteral("2") : QStringLiteral("1")});
        }
    }
    return any;
}

bool plasma(const QString& path, bool tiled) {
    // The path enters the script as a JSON string, so no character of it can end the string.
    const QString quoted = QString::fromUtf8(
        QJsonDocument::fromVariant(QVariantList{QUrl::fromLocalFile(path).toString()})
            .toJson(QJsonDocument::Compact));
    const QString script =
        QStringLiteral(
            "var p=%1[0];for(var d of desktops()){d.wallpaperPlugin='org.kde.image';"
            "d.currentConfigGroup=['Wallpaper','org.kde.image','General'];"
            "d.writeConfig('Image',p);d.writeConfig('FillMode',%2);}")
            .arg(quoted)
            .arg(tiled ? 3 : 6);
    for (const char* tool : {"qdbus", "qdbus6", "qdbus-qt5"}) {
        if (run(QString::fromLatin1(tool),
                {QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                 QStringLiteral("org.kde.PlasmaShell.evaluateScript"), script})) {
            return true;
        }
    }
    return false;
}

// Root-window properties of our own: the pixmap this program painted, and its file's name.
constexpr const char* kOwnPixmap = "_GLIMVANE_WALLPAPER_PIXMAP";
constexpr const char* kOwnFile = "_GLIMVANE_WALLPAPER";

struct XcbDisconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < number; ++i) {
        xcb_screen_next(&it);
    }
    return it.rem ? it.data : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(r);
    return a;
}

xcb_pixmap_t pixmapProperty(xcb_connection_t* c, xcb_window_t root, xcb_atom_t property) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, property, XCB_ATOM_PIXMAP, 0, 1), nullptr);
    xcb_pixmap_t p = XCB_NONE;
    if (r && r->format == 32 && xcb_get_property_value_length(r) == 4) {
        p = *static_cast<xcb_pixmap_t*>(xcb_get_property_value(r));
    }
    free(r);
    return p;
}

}  // namespace

bool setWallpaperWithDesktopTool(const QString& path, bool tiled) {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    const QString uri = QUrl::fromLocalFile(path).toString();
    const QString options = tiled ? QStringLiteral("wallpaper") : QStringLiteral("centered");
    for (const QString& d : desktops) {
        if (d == QStringLiteral("gnome") || d == QStringLiteral("unity") ||
            d == QStringLiteral("budgie") || d == QStringLiteral("pantheon")) {
            const QString schema = QStringLiteral("org.gnome.desktop.background");
            if (gsettings(schema, QStringLiteral("picture-uri"), uri, options)) {
                // The dark style's picture, where the desktop has one.
                run(QStringLiteral("gsettings"),
                    {QStringLiteral("set"), schema, QStringLiteral("picture-uri-dark"), uri});
                return true;
            }
        } else if (d == QStringLiteral("x-cinnamon") || d == QStringLiteral("cinnamon")) {
            if (gsettings(QStringLiteral("org.cinnamon.desktop.background"),
                          QStringLiteral("picture-uri"), uri, options)) {
                return true;
            }
        } else if (d == QStringLiteral("mate")) {
            if (gsettings(QStringLiteral("org.mate.background"), QStringLiteral("picture-filename"),
                          path, options)) {
                return true;
            }
        } else if (d == QStringLiteral("xfce")) {
            if (xfce(path, tiled)) {
                return true;
            }
        } else if (d == QStringLiteral("kde")) {
            if (plasma(path, tiled)) {
                return true;
            }
        }
    }
    return false;
}

QSize rootWindowSize() {
    int number = 0;
    Connection c(xcb_connect(nullptr, &number));
    if (xcb_connection_has_error(c.get())) {
        return QSize();
    }
    const xcb_screen_t* s = screenOf(c.get(), number);
    return s ? QSize(s->width_in_pixels, s->height_in_pixels) : QSize();
}

bool paintRootWindow(const QImage& background, const QString& file) {
    int number = 0;
    Connection c(xcb_connect(nullptr, &number));
    if (xcb_connection_has_error(c.get())) {
        return false;
    }
    xcb_connection_t* x = c.get();
    const xcb_screen_t* s = screenOf(x, number);
    if (!s || (s->root_depth != 24 && s->root_depth != 32) ||
        xcb_get_setup(x)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return false;
    }
    const QImage image = background.convertToFormat(QImage::Format_RGB32);
    const auto width = static_cast<uint16_t>(image.width());
    const auto height = static_cast<uint16_t>(image.height());
    const xcb_window_t root = s->root;
    const xcb_pixmap_t pixmap = xcb_generate_id(x);
    xcb_create_pixmap(x, s->root_depth, pixmap, root, width, height);
    const xcb_gcontext_t gc = xcb_generate_id(x);
    xcb_create_gc(x, gc, pixmap, 0, nullptr);
    // Rows in requests the server accepts (its limit is counted in 4-byte units).
    const qsizetype stride = image.bytesPerLine();
    const qsizetype limit = static_cast<qsizetype>(xcb_get_maximum_request_length(x)) * 4 - 64;
    const int rows = static_cast<int>(std::max<qsizetype>(1, limit / stride));
    for (int y = 0; y < height; y += rows) {
        const int n = std::min(rows, height - y);
        xcb_put_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, width, static_cast<uint16_t>(n), 0,
                      static_cast<int16_t>(y), 0, s->root_depth, static_cast<uint32_t>(n * stride),
                      image.constScanLine(y));
    }
    xcb_free_gc(x, gc);

    const xcb_atom_t rootId = atom(x, "_XROOTPMAP_ID");
    const xcb_atom_t setRootId = atom(x, "ESETROOT_PMAP_ID");
    // The picture an earlier setter left behind is freed, as root-window setters agree.
    const xcb_pixmap_t previous = pixmapProperty(x, root, setRootId);
    if (previous != XCB_NONE && previous == pixmapProperty(x, root, rootId)) {
        xcb_kill_client(x, previous);
    }
    for (xcb_atom_t a : {rootId, setRootId, atom(x, kOwnPixmap)}) {
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, a, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    }
    const QByteArray name = fileNameToBytes(file);
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, atom(x, kOwnFile), XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(name.size()), name.constData());
    xcb_change_window_attributes(x, root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(x, 0, root, 0, 0, 0, 0);
    // The pixmap outlives this connection.
    xcb_set_close_down_mode(x, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    return !xcb_connection_has_error(x);
}

namespace {

// gsettings prints a string value in single quotes.
QString gsettingsValue(const QString& schema, const QString& key) {
    QString out;
    if (!run(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, key}, &out)) {
        return {};
    }
    out = out.trimmed();
    if (out.size() >= 2 && out.startsWith(u'\'') && out.endsWith(u'\'')) {
        out = out.mid(1, out.size() - 2);
    }
    return out;
}

QString fromUri(const QString& uri) {
    const QUrl url(uri);
    return url.isLocalFile() ? url.toLocalFile() : uri;
}

QString xfceWallpaper() {
    QString list;
    if (!run(QStringLiteral("xfconf-query"),
             {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-l")},
             &list)) {
        return {};
    }
    for (const QString& property : list.split(u'\n', Qt::SkipEmptyParts)) {
        QString value;
        if (property.endsWith(QStringLiteral("/last-image")) &&
            run(QStringLiteral("xfconf-query"),
                {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-p"),
                 property},
                &value)) {
            return value.trimmed();
        }
    }
    return {};
}

QString plasmaWallpaper() {
    const QString script = QStringLiteral(
        "var d=desktops()[0];d.currentConfigGroup=['Wallpaper','org.kde.image','General'];"
        "print(d.readConfig('Image'));");
    for (const char* tool : {"qdbus", "qdbus6", "qdbus-qt5"}) {
        QString out;
        if (run(QString::fromLatin1(tool),
                {QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                 QStringLiteral("org.kde.PlasmaShell.evaluateScript"), script},
                &out)) {
            return fromUri(out.trimmed());
        }
    }
    return {};
}

QString rootWindowWallpaper() {
    int number = 0;
    Connection c(xcb_connect(nullptr, &number));
    if (xcb_connection_has_error(c.get())) {
        return {};
    }
    xcb_connection_t* x = c.get();
    const xcb_screen_t* s = screenOf(x, number);
    if (!s) {
        return {};
    }
    // Only while the root window still shows what this program painted.
    const xcb_pixmap_t shown = pixmapProperty(x, s->root, atom(x, "_XROOTPMAP_ID"));
    if (shown == XCB_NONE || shown != pixmapProperty(x, s->root, atom(x, kOwnPixmap))) {
        return {};
    }
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        x, xcb_get_property(x, 0, s->root, atom(x, kOwnFile), XCB_ATOM_STRING, 0, 65536), nullptr);
    QByteArray name;
    if (r && r->format == 8) {
        name = QByteArray(static_cast<const char*>(xcb_get_property_value(r)),
                          xcb_get_property_value_length(r));
    }
    free(r);
    return fileNameFromBytes(name);
}

}  // namespace

QString currentWallpaperFile() {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    for (const QString& d : desktops) {
        QString file;
        if (d == QStringLiteral("gnome") || d == QStringLiteral("unity") ||
            d == QStringLiteral("budgie") || d == QStringLiteral("pantheon")) {
            file = fromUri(gsettingsValue(QStringLiteral("org.gnome.desktop.background"),
                                          QStringLiteral("picture-uri")));
        } else if (d == QStringLiteral("x-cinnamon") || d == QStringLiteral("cinnamon")) {
            file = fromUri(gsettingsValue(QStringLiteral("org.cinnamon.desktop.background"),
                                          QStringLiteral("picture-uri")));
        } else if (d == QStringLiteral("mate")) {
            file = gsettingsValue(QStringLiteral("org.mate.background"),
                                  QStringLiteral("picture-filename"));
        } else if (d == QStringLiteral("xfce")) {
            file = xfceWallpaper();
        } else if (d == QStringLiteral("kde")) {
            file = plasmaWallpaper();
        }
        if (!file.isEmpty()) {
            return file;
        }
    }
    return rootWindowWallpaper();
}

}  // namespace gv
