#include "options/DesktopEntries.h"

#include "platform/FileNameBytes.h"

namespace gv {
namespace {

constexpr const char* kIconName = "glimvane";

QByteArray entry(const QString& name, const QString& exec, const QString& extra) {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=%1\n"
               "Exec=%2\n"
               "Icon=%3\n"
               "Terminal=false\n"
               "%4"
               "%5\n")
        .arg(name, exec, QString::fromLatin1(kIconName), extra, QString::fromLatin1(kOwnEntryMark))
        .toUtf8();
}

}  // namespace

std::optional<QString> execArgument(const QString& path) {
    if (path.isEmpty() || holdsRawBytes(path)) {
        return std::nullopt;
    }
    static const QString kReserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (QChar c : path) {
        quote = quote || kReserved.contains(c);
    }
    QString arg;
    if (quote) {
        arg = QLatin1Char('"');
        for (QChar c : path) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                arg += QLatin1Char('\\');
            }
            arg += c;
        }
        arg += QLatin1Char('"');
    } else {
        arg = path;
    }
    // A literal percent sign is doubled, or it would read as a field code. GLib looks for the
    // program before it undoes the doubling, and would not find it: env runs it instead.
    if (arg.contains(QLatin1Char('%'))) {
        arg = QStringLiteral("env ") + arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    }
    // Then the escapes of every string value of an entry.
    QString value;
    for (QChar c : arg) {
        switch (c.unicode()) {
            case u'\\':
                value += QStringLiteral("\\\\");
                break;
            case u'\n':
                value += QStringLiteral("\\n");
                break;
            case u'\t':
                value += QStringLiteral("\\t");
                break;
            case u'\r':
                value += QStringLiteral("\\r");
                break;
            default:
                value += c;
        }
    }
    return value;
}

std::optional<QByteArray> associationEntry(const QString& programPath,
                                           const QStringList& mimeTypes) {
    const std::optional<QString> program = execArgument(programPath);
    if (!program) {
        return std::nullopt;
    }
    return entry(QStringLiteral("Glimvane"), *program + QStringLiteral(" %f"),
                 QStringLiteral("GenericName=Image Viewer\n"
                                "Comment=Browse and view images\n"
                                "Categories=Graphics;Viewer;2DGraphics;RasterGraphics;\n"
                                "MimeType=") +
                     mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n"));
}

std::optional<QByteArray> launcherEntry(const QString& name, const QString& target, bool withFile) {
    const std::optional<QString> program = execArgument(target);
    if (!program) {
        return std::nullopt;
    }
    return entry(name, withFile ? *program + QStringLiteral(" %f") : *program, QString());
}

bool isOwnEntry(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        if (line.trimmed() == kOwnEntryMark) {
            return true;
        }
    }
    return false;
}

}  // namespace gv
