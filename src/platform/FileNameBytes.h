#pragma once
// File names are bytes. Linux stores whatever bytes a program gave it, and a name need not be
// UTF-8 ("b\xff.jpg" from an old camera card or another locale). Where the program carries a
// name or a path as text, each byte that is not part of valid UTF-8 travels as its own
// escape character (U+DC80 to U+DCFF, which valid UTF-8 can never produce), so the text maps
// back to exactly the bytes it came from: "b\xff.jpg" and "b\xef\xbf\xbd.jpg" stay two names.
// Qt's own file classes would turn such a byte into U+FFFD and, encoding that again, name the
// other file: a path that may hold escapes reaches the system only through fileNameToBytes().

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace gv {

// The text form of a name (or path) as the file system stores it. Lossless.
QString fileNameFromBytes(std::string_view bytes);
inline QString fileNameFromBytes(const QByteArray& bytes) {
    return fileNameFromBytes(std::string_view(bytes.constData(), size_t(bytes.size())));
}
// The bytes of a name (or path) in its text form: the inverse of fileNameFromBytes().
QByteArray fileNameToBytes(QStringView name);
std::string fileNameToStdString(QStringView name);
// Whether the text holds bytes that are not UTF-8 (and so must not reach Qt's file classes).
bool holdsRawBytes(QStringView name);
// The name as the user sees it: each byte that is not UTF-8 shows as U+FFFD.
QString fileNameForDisplay(QStringView name);

// A value for a text file (the settings store) that must keep a path's bytes: a path whose
// bytes are not all UTF-8 is written as a file URL ("file:///media/b%FF"), as the desktop's
// bookmark files keep such paths; any other text stays as it is. Reading undoes it, and only
// for a file URL whose bytes are not UTF-8, so a value that merely looks like a URL is kept.
QString textForStorage(QStringView text);
QString textFromStorage(const QString& stored);

}  // namespace gv
