#include "external/DataFile.h"

#include <QStringDecoder>

namespace gv {
namespace {

constexpr QByteArrayView kMarker("<name>");

// Windows-1252 characters of the bytes 0x80 to 0x9F; the other bytes are Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// Blank after the trim of the lines: spaces only (a tab is text).
bool isBlank(QByteArrayView bytes) {
    for (char c : bytes) {
        if (c != ' ') {
            return false;
        }
    }
    return true;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool markerAt(QByteArrayView line, qsizetype at) {
    for (qsizetype k = 0; k < kMarker.size(); ++k) {
        if (lower(line[at + k]) != kMarker[k]) {
            return false;
        }
    }
    return true;
}

}  // namespace

QString decodeDataFileText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) {
        return text;
    }
    text.resize(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

std::optional<MenuEntry> parseDataFileLine(QByteArrayView line, int& fault) {
    fault = 0;
    if (line.size() > kMaxLineBytes) {
        fault = kTooLarge;
        return std::nullopt;
    }
    if (line.contains('\0')) {
        fault = kBadLine;
        return std::nullopt;
    }
    if (isBlank(line)) {
        return std::nullopt;
    }
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i + kMarker.size() <= line.size(); ++i) {
        if (markerAt(line, i)) {
            if (first < 0) {
                first = i;
            }
            last = i;
        }
    }
    if (first < 0) {
        fault = kBadLine;
        return std::nullopt;
    }
    const QByteArrayView target = line.first(first);
    const QByteArrayView name = line.sliced(last + kMarker.size());
    // One blank side is no item; a line blank on both sides is an item as it stands.
    if (isBlank(target) != isBlank(name)) {
        return std::nullopt;
    }
    return MenuEntry{decodeDataFileText(name), decodeDataFileText(target)};
}

DataFileContent parseDataFile(QByteArrayView bytes) {
    DataFileContent content;
    if (bytes.size() > kMaxDataFileBytes) {
        content.error = kTooLarge;
        return content;
    }
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
            ++end;
        }
        int fault = 0;
        auto entry = parseDataFileLine(bytes.sliced(start, end - start), fault);
        if (fault != 0) {
            content.error = fault;
            return content;
        }
        if (entry) {
            if (content.entries.size() == kMaxMenuItems) {
                content.error = kTooLarge;
                return content;
            }
            content.entries.append(std::move(*entry));
        }
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return content;
}

QByteArray formatDataFile(const QList<MenuEntry>& entries) {
    // A line end or NUL inside a name (a page title can hold one) would split or damage the
    // line: it is written as a blank.
    const auto lineSafe = [](QString text) {
        for (QChar& c : text) {
            if (c == u'\r' || c == u'\n' || c == QChar(0)) {
                c = u' ';
            }
        }
        return text.toUtf8();
    };
    QByteArray out;
    for (const MenuEntry& e : entries) {
        out += lineSafe(e.target);
        out += "<name>";
        out += lineSafe(e.name);
        out += "\r\n";
    }
    return out;
}

}  // namespace gv
