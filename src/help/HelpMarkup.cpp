#include "help/HelpMarkup.h"

#include <QHash>
#include <QStringDecoder>

namespace gv {
namespace {

struct Tag {
    QString name;                        // lower case, "/ul" for an end tag
    QHash<QString, QString> attributes;  // names in lower case
};

// Reads the tag that starts at html[i] (a '<'); i ends after its '>'. Comments and
// declarations come back with an empty name.
Tag readTag(const QString& html, qsizetype& i) {
    Tag tag;
    const qsizetype n = html.size();
    if (html.mid(i, 4) == QLatin1String("<!--")) {
        const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
        i = end < 0 ? n : end + 3;
        return tag;
    }
    ++i;
    qsizetype start = i;
    while (i < n && !html[i].isSpace() && html[i] != u'>') {
        ++i;
    }
    tag.name = html.mid(start, i - start).toLower();
    if (tag.name.startsWith(u'!') || tag.name.startsWith(u'?')) {
        tag.name.clear();
    }
    while (i < n && html[i] != u'>') {
        if (html[i].isSpace() || html[i] == u'/') {
            ++i;
            continue;
        }
        start = i;
        while (i < n && !html[i].isSpace() && html[i] != u'=' && html[i] != u'>') {
            ++i;
        }
        const QString name = html.mid(start, i - start).toLower();
        while (i < n && html[i].isSpace()) {
            ++i;
        }
        QString value;
        if (i < n && html[i] == u'=') {
            ++i;
            while (i < n && html[i].isSpace()) {
                ++i;
            }
            if (i < n && (html[i] == u'"' || html[i] == u'\'')) {
                const QChar quote = html[i++];
                start = i;
                const qsizetype end = html.indexOf(quote, i);
                i = end < 0 ? n : end;
                value = html.mid(start, i - start);
                if (i < n) {
                    ++i;
                }
            } else {
                start = i;
                while (i < n && !html[i].isSpace() && html[i] != u'>') {
                    ++i;
                }
                value = html.mid(start, i - start);
            }
        }
        if (!name.isEmpty() && tag.attributes.size() < 64) {
            tag.attributes.insert(name, decodeEntities(value));
        }
    }
    if (i < n) {
        ++i;
    }
    return tag;
}

}  // namespace

QList<SitemapItem> parseSitemap(const QByteArray& bytes) {
    const QString html = decodeHelpText(bytes);
    QList<SitemapItem> root;
    // The list items are added to; each deeper list is the children of the item before it.
    // Only the deepest list grows, so the pointers into the lists above stay valid.
    QList<QList<SitemapItem>*> lists{&root};
    // For each list opened: whether it went a level deeper. A list beyond the depth limit, or
    // with no item before it, belongs to the list it is in.
    QList<bool> opened;
    int count = 0;
    bool inObject = false;
    SitemapItem item;
    qsizetype i = 0;
    while (i < html.size()) {
        const qsizetype open = html.indexOf(u'<', i);
        if (open < 0) {
            break;
        }
        i = open;
        const Tag tag = readTag(html, i);
        if (tag.name == QLatin1String("ul")) {
            QList<SitemapItem>* list = lists.last();
            // Past this many open lists a file is read as if the rest were not there.
            if (opened.size() < kMaxSitemapItems) {
                const bool deeper = lists.size() < kMaxSitemapDepth && !list->isEmpty();
                if (deeper) {
                    lists.append(&list->last().children);
                }
                opened.append(deeper);
            }
        } else if (tag.name == QLatin1String("/ul")) {
            if (!opened.isEmpty() && opened.takeLast() && lists.size() > 1) {
                lists.removeLast();
            }
        } else if (tag.name == QLatin1String("object")) {
            inObject = tag.attributes.value(QStringLiteral("type"))
                           .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0;
            item = SitemapItem();
        } else if (tag.name == QLatin1String("param") && inObject) {
            const QString name = tag.attributes.value(QStringLiteral("name")).toLower();
            const QString value = tag.attributes.value(QStringLiteral("value"));
            // An index entry that names several pages keeps the first.
            if (name == QLatin1String("name") && item.name.isEmpty()) {
                item.name = value.simplified();
            } else if (name == QLatin1String("local") && item.local.isEmpty()) {
                item.local = value.trimmed();
            }
        } else if (tag.name == QLatin1String("/object") && inObject) {
            inObject = false;
            if (count < kMaxSitemapItems && (!item.name.isEmpty() || !item.local.isEmpty())) {
                lists.last()->append(std::move(item));
                ++count;
            }
            item = SitemapItem();
        }
    }
    return root;
}

QString decodeHelpText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        text = QString::fromLatin1(bytes);
    }
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    return text;
}

QString htmlTitle(const QString& html) {
    const qsizetype open = html.indexOf(QLatin1String("<title"), 0, Qt::CaseInsensitive);
    if (open < 0) {
        return QString();
    }
    const qsizetype start = html.indexOf(u'>', open);
    const qsizetype end = html.indexOf(QLatin1String("</title"), open, Qt::CaseInsensitive);
    if (start < 0 || end < start) {
        return QString();
    }
    return decodeEntities(html.mid(start + 1, end - start - 1)).simplified();
}

QString htmlToText(const QString& html) {
    QString text;
    text.reserve(html.size() / 2);
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const qsizetype open = html.indexOf(u'<', i);
        text += html.mid(i, (open < 0 ? n : open) - i);
        if (open < 0) {
            break;
        }
        i = open;
        const Tag tag = readTag(html, i);
        if (tag.name == QLatin1String("script") || tag.name == QLatin1String("style") ||
            tag.name == QLatin1String("title")) {
            const qsizetype end =
                html.indexOf(QLatin1String("</") + tag.name, i, Qt::CaseInsensitive);
            i = end < 0 ? n : end;
        }
        // Tags part words, as the page shows them.
        text += u' ';
    }
    return decodeEntities(text).simplified();
}

QString decodeEntities(const QString& text) {
    if (!text.contains(u'&')) {
        return text;
    }
    static const QHash<QString, QChar> kNamed = {
        {QStringLiteral("amp"), u'&'},
        {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},
        {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},
        {QStringLiteral("nbsp"), QChar(0xA0)},
        {QStringLiteral("copy"), QChar(0xA9)},
        {QStringLiteral("reg"), QChar(0xAE)},
        {QStringLiteral("hellip"), QChar(0x2026)},
        {QStringLiteral("ndash"), QChar(0x2013)},
        {QStringLiteral("mdash"), QChar(0x2014)},
        {QStringLiteral("rarr"), QChar(0x2192)},
        {QStringLiteral("times"), QChar(0xD7)},
        {QStringLiteral("eacute"), QChar(0xE9)},
    };
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        const qsizetype semi = c == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semi < 0 || semi - i > 10) {
            out += c;
            ++i;
            continue;
        }
        const QString name = text.mid(i + 1, semi - i - 1);
        bool ok = false;
        char32_t code = 0;
        if (name.startsWith(u'#')) {
            code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive)
                       ? name.mid(2).toUInt(&ok, 16)
                       : name.mid(1).toUInt(&ok, 10);
            ok = ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        } else if (const auto it = kNamed.constFind(name); it != kNamed.constEnd()) {
            code = it->unicode();
            ok = true;
        }
        if (!ok) {
            out += c;
            ++i;
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi + 1;
    }
    return out;
}

}  // namespace gv
