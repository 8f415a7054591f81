#pragma once
// The tips file: plain text beside the program, one tip a line. Read once, through one
// descriptor and within a size limit, so that a wrong file (a picture, a log of many
// megabytes) costs nothing and says what is wrong with it.

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace gv {

inline constexpr const char* kTipsFileName = "GVTIPS.GVR";
// Some hundred times the tips we ship.
inline constexpr qint64 kMaxTipsFileBytes = 1024 * 1024;
// A tip longer than this is cut there and ends in an ellipsis.
inline constexpr int kMaxTipChars = 2000;

struct TipsRead {
    enum class Status { Ok, Missing, Unreadable, TooLarge, NotText };
    Status status = Status::Missing;
    QStringList tips;
    qint64 size = 0;  // bytes, for TooLarge
    int error = 0;    // the system's error, for Unreadable
};

// The tips in the bytes of a tips file, one per line in file order; a line ends at CR, LF or
// CR LF, and an empty line is an empty tip. UTF-8, or Latin-1 where a line is not UTF-8;
// UTF-16 with its byte-order mark. Status NotText for NUL bytes outside UTF-16.
TipsRead parseTips(QByteArrayView bytes);
// Reads the file at path. What is not a file at all counts as missing.
TipsRead readTipsFile(const QString& path);
// The words the tip window shows instead of a tip when the file cannot be used; the
// not-found text for a missing one.
QString tipsProblemText(const TipsRead& read);

}  // namespace gv
