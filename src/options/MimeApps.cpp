#include "options/MimeApps.h"

#include <QList>
#include <QStringDecoder>

namespace gv::mimeapps {
namespace {

// One line of the list: where it starts and how long it is without its "\n".
struct Line {
    qsizetype start = 0;
    qsizetype length = 0;
};

QList<Line> splitLines(const QByteArray& list) {
    QList<Line> lines;
    qsizetype start = 0;
    while (start < list.size()) {
        const qsizetype end = list.indexOf('\n', start);
        if (end < 0) {
            lines.append({start, list.size() - start});
            break;
        }
        lines.append({start, end - start});
        start = end + 1;
    }
    return lines;
}

// The line as the desktop reads it: without a "\r" before its "\n", without leading blanks.
QByteArray content(const QByteArray& list, const Line& line) {
    QByteArray text = list.mid(line.start, line.length);
    if (text.endsWith('\r')) {
        text.chop(1);
    }
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    return text.mid(i);
}

bool isBlankOrComment(const QByteArray& text) {
    return text.isEmpty() || text.startsWith('#');
}

// The group a header line opens ("[Name]", blanks allowed after it), or nothing.
std::optional<QByteArray> groupOf(const QByteArray& text) {
    if (!text.startsWith('[')) {
        return std::nullopt;
    }
    const qsizetype close = text.indexOf(']');
    if (close < 0 || !text.mid(close + 1).trimmed().isEmpty()) {
        return std::nullopt;
    }
    return text.mid(1, close - 1);
}

// The key of a "key=value" line, blanks around it removed.
std::optional<QByteArray> keyOf(const QByteArray& text) {
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0) {
        return std::nullopt;
    }
    return text.left(eq).trimmed();
}

bool isUtf8(const QByteArray& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(text);  // decoding happens on conversion
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

// The line index of the type's entry in the first group of that name that has one, and the
// index of that group's header.
struct Found {
    int header = -1;
    int entry = -1;
};

Found find(const QByteArray& list, const QList<Line>& lines, const QByteArray& mimeType,
           const char* group) {
    Found found;
    bool inGroup = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray text = content(list, lines[i]);
        if (const std::optional<QByteArray> name = groupOf(text)) {
            inGroup = *name == group;
            if (inGroup && found.header < 0) {
                found.header = i;
            }
            continue;
        }
        if (!inGroup || isBlankOrComment(text)) {
            continue;
        }
        const std::optional<QByteArray> key = keyOf(text);
        if (key && key->compare(mimeType, Qt::CaseInsensitive) == 0) {
            for (int h = i; h >= 0; --h) {
                if (groupOf(content(list, lines[h]))) {
                    found.header = h;
                    break;
                }
            }
            found.entry = i;
            return found;
        }
    }
    return found;
}

}  // namespace

Damage findDamage(const QByteArray& list) {
    const QList<Line> lines = splitLines(list);
    bool inGroup = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray raw = list.mid(lines[i].start, lines[i].length);
        const QByteArray text = content(list, lines[i]);
        bool bad = raw.contains('\0') || !isUtf8(raw);
        if (!bad && !isBlankOrComment(text)) {
            if (groupOf(text)) {
                inGroup = true;
            } else {
                // A key before the first group, or a line that is neither.
                bad = !inGroup || !keyOf(text);
            }
        }
        if (bad) {
            return Damage{i + 1, QString::fromUtf8(raw).trimmed()};
        }
    }
    return Damage{};
}

std::optional<QByteArray> entryLine(const QByteArray& list, const QByteArray& mimeType,
                                    const char* group) {
    const QList<Line> lines = splitLines(list);
    const Found found = find(list, lines, mimeType, group);
    if (found.entry < 0) {
        return std::nullopt;
    }
    QByteArray line = list.mid(lines[found.entry].start, lines[found.entry].length);
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

QStringList idsOf(const QByteArray& line) {
    const qsizetype eq = line.indexOf('=');
    QStringList ids;
    if (eq < 0) {
        return ids;
    }
    for (const QByteArray& id : line.mid(eq + 1).split(';')) {
        const QByteArray trimmed = id.trimmed();
        if (!trimmed.isEmpty()) {
            ids << QString::fromUtf8(trimmed);
        }
    }
    return ids;
}

QByteArray lineFor(const QByteArray& mimeType, const QString& id) {
    return mimeType + '=' + id.toUtf8();
}

QByteArray withEntryLine(const QByteArray& list, const QByteArray& mimeType,
                         const std::optional<QByteArray>& line) {
    const QList<Line> lines = splitLines(list);
    const Found found = find(list, lines, mimeType, kDefaultGroup);
    // New lines end the way the file's first line ends.
    const qsizetype firstEnd = list.indexOf('\n');
    const QByteArray eol = firstEnd > 0 && list[firstEnd - 1] == '\r' ? "\r\n" : "\n";

    if (found.entry >= 0) {
        const Line& at = lines[found.entry];
        const bool cr = list.mid(at.start, at.length).endsWith('\r');
        if (line) {
            QByteArray result = list;
            return result.replace(at.start, at.length - (cr ? 1 : 0), *line);
        }
        // Removing the line; its group goes too when nothing else is left in it.
        qsizetype from = at.start;
        qsizetype to = at.start + at.length + (at.start + at.length < list.size() ? 1 : 0);
        bool groupEmpty = true;
        for (int i = found.header + 1; i < lines.size(); ++i) {
            const QByteArray text = content(list, lines[i]);
            if (groupOf(text)) {
                break;
            }
            if (i != found.entry && !text.isEmpty()) {
                groupEmpty = false;
                break;
            }
        }
        if (groupEmpty && found.header + 1 == found.entry) {
            from = lines[found.header].start;
        }
        QByteArray result = list;
        return result.remove(from, to - from);
    }
    if (!line) {
        return list;
    }
    QByteArray result = list;
    if (found.header < 0) {
        if (!result.isEmpty() && !result.endsWith('\n')) {
            result += eol;
        }
        return result + '[' + kDefaultGroup + ']' + eol + *line + eol;
    }
    // After the group's last line that is not blank, so blank lines between groups stay.
    int last = found.header;
    for (int i = found.header + 1; i < lines.size(); ++i) {
        const QByteArray text = content(list, lines[i]);
        if (groupOf(text)) {
            break;
        }
        if (!text.isEmpty()) {
            last = i;
        }
    }
    const Line& after = lines[last];
    const qsizetype end = after.start + after.length;
    if (end >= result.size()) {
        return result + eol + *line + eol;
    }
    return result.insert(end + 1, *line + eol);
}

QString defaultApplication(const QList<List>& lists, const QByteArray& mimeType,
                           const std::function<bool(const QString& id)>& installed) {
    for (const List& list : lists) {
        if (const std::optional<QByteArray> line = entryLine(list.text, mimeType, list.group)) {
            for (const QString& id : idsOf(*line)) {
                if (installed(id)) {
                    return id;
                }
            }
        }
    }
    return QString();
}

}  // namespace gv::mimeapps
