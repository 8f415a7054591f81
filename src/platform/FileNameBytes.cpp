#include "platform/FileNameBytes.h"

#include <cstdint>

namespace gv {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b (0x80..0xFF) travels as U+DC00 + b
constexpr char16_t kReplacement = 0xFFFD;

bool isEscape(char16_t c) {
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

// An escape is a low surrogate on its own; after a high surrogate it is half of a character.
bool escapeAt(QStringView name, qsizetype i) {
    return isEscape(name[i].unicode()) && (i == 0 || !name[i - 1].isHighSurrogate());
}

// The length of the valid UTF-8 sequence at s[0..n), or 0 when it is not one (overlong forms,
// surrogates and code points past U+10FFFF are not valid).
int validSequence(const unsigned char* s, size_t n, char32_t& cp) {
    const unsigned char b = s[0];
    int length = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (size_t(length) > n) {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void appendUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

QString fileNameFromBytes(std::string_view bytes) {
    QString out;
    out.reserve(qsizetype(bytes.size()));
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            out.append(QChar(char16_t(s[i])));
            ++i;
            continue;
        }
        char32_t cp = 0;
        if (const int length = validSequence(s + i, n - i, cp)) {
            if (cp >= 0x10000) {
                out.append(QChar(char16_t(0xD800 + ((cp - 0x10000) >> 10))));
                out.append(QChar(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF))));
            } else {
                out.append(QChar(char16_t(cp)));
            }
            i += size_t(length);
        } else {
            out.append(QChar(char16_t(kEscapeBase + s[i])));
            ++i;
        }
    }
    return out;
}

QByteArray fileNameToBytes(QStringView name) {
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
        } else if (isEscape(c)) {
            out.append(char(c - kEscapeBase));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && name[i + 1].unicode() >= 0xDC00 &&
                   name[i + 1].unicode() <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) +
                                (char32_t(name[i + 1].unicode()) - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendUtf8(out, kReplacement);  // a lone surrogate no file system name gave us
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string fileNameToStdString(QStringView name) {
    const QByteArray bytes = fileNameToBytes(name);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool holdsRawBytes(QStringView name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (escapeAt(name, i)) {
            return true;
        }
    }
    return false;
}

QString fileNameForDisplay(QStringView name) {
    QString out = name.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (escapeAt(name, i)) {
            out[i] = QChar(kReplacement);
        }
    }
    return out;
}

namespace {
constexpr QLatin1StringView kFileUrl("file://");
}

QString textForStorage(QStringView text) {
    if (!holdsRawBytes(text) || !text.startsWith(QLatin1Char('/'))) {
        return text.toString();
    }
    static const char kHex[] = "0123456789ABCDEF";
    QString out = kFileUrl;
    for (const char byte : fileNameToBytes(text)) {
        const auto c = static_cast<unsigned char>(byte);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            out.append(QLatin1Char(char(c)));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[c >> 4]));
            out.append(QLatin1Char(kHex[c & 15]));
        }
    }
    return out;
}

QString textFromStorage(const QString& stored) {
    if (!stored.startsWith(kFileUrl) || stored.size() <= kFileUrl.size() ||
        stored[kFileUrl.size()] != QLatin1Char('/')) {
        return stored;
    }
    std::string bytes;
    for (qsizetype i = kFileUrl.size(); i < stored.size(); ++i) {
        const char16_t c = stored[i].unicode();
        if (c == '%') {
            if (i + 2 >= stored.size()) {
                return stored;
            }
            bool ok = false;
            const int value = stored.mid(i + 1, 2).toInt(&ok, 16);
            if (!ok) {
                return stored;
            }
            bytes.push_back(char(value));
            i += 2;
        } else if (c < 0x80 && c != '%') {
            bytes.push_back(char(c));
        } else {
            return stored;  // not a URL this store wrote
        }
    }
    const QString path = fileNameFromBytes(bytes);
    return holdsRawBytes(path) ? path : stored;
}

}  // namespace gv
