#include "help/HelpFile.h"

#include <QtEndian>

#include "help/ChmArchive.h"
#include "platform/DamagedFiles.h"

namespace gv {
namespace {

// The records of the #SYSTEM file that the viewer needs.
constexpr quint16 kSystemContentsFile = 0;
constexpr quint16 kSystemIndexFile = 1;
constexpr quint16 kSystemDefaultTopic = 2;
constexpr quint16 kSystemTitle = 3;

bool isPage(const QString& path) {
    return path.endsWith(QLatin1String(".htm")) || path.endsWith(QLatin1String(".html"));
}

// A sitemap's or table's reference to a page: "a.htm", "/a.htm", "a.htm#part", or one that
// names the file too ("ms-its:gv23hlp.chm::/a.htm").
QString topicOf(const QString& local) {
    QString path = local;
    const qsizetype files = path.indexOf(QLatin1String("::"));
    if (files >= 0) {
        path = path.mid(files + 2);
    }
    const qsizetype fragment = path.indexOf(u'#');
    if (fragment >= 0) {
        path.truncate(fragment);
    }
    return path;
}

void flatten(const QList<SitemapItem>& items, QStringList& out) {
    for (const SitemapItem& item : items) {
        if (!item.local.isEmpty()) {
            out.append(HelpFile::normalPath(topicOf(item.local)));
        }
        flatten(item.children, out);
    }
}

QString cString(const QByteArray& bytes, qsizetype offset) {
    if (offset < 0 || offset >= bytes.size()) {
        return QString();
    }
    const qsizetype end = bytes.indexOf('\0', offset);
    return decodeHelpText(bytes.mid(offset, (end < 0 ? bytes.size() : end) - offset));
}

}  // namespace

HelpFile HelpFile::load(const QString& path) {
    HelpFile help;
    BoundedFile file(path, kMaxFileBytes);
    std::optional<QByteArray> bytes;
    if (file.state() == BoundedFile::State::Readable) {
        bytes = file.readAll();
    }
    if (bytes) {
        return fromBytes(*bytes);
    }
    switch (file.state()) {
        case BoundedFile::State::Missing:
            help.m_problem = Problem::Missing;
            break;
        case BoundedFile::State::NotAFile:
            help.m_problem = Problem::NotAFile;
            help.m_problemText = QStringLiteral("it is not a file");
            break;
        case BoundedFile::State::TooLarge:
            help.m_problem = Problem::TooLarge;
            help.m_problemText = QStringLiteral("it is larger than %1 bytes").arg(kMaxFileBytes);
            break;
        default:
            help.m_problem = Problem::Unreadable;
            help.m_problemText = QStringLiteral("the system says: ") +
                                 systemErrorText(file.error() ? file.error() : EIO);
            break;
    }
    return help;
}

HelpFile HelpFile::fromBytes(const QByteArray& bytes) {
    HelpFile help;
    const auto damaged = [](const QString& why) {
        HelpFile broken;
        broken.m_problem = Problem::Damaged;
        broken.m_problemText = why;
        return broken;
    };
    const ChmArchive archive(bytes);
    if (!archive.ok()) {
        return damaged(QStringLiteral("it is not a compiled help file"));
    }
    qint64 unpacked = 0;
    for (const ChmArchive::Entry& entry : archive.entries()) {
        if (!entry.path.startsWith('/') || entry.path.startsWith("/#") ||
            entry.path.startsWith("/$")) {
            continue;
        }
        unpacked += entry.length;
        if (unpacked > kMaxUnpackedBytes) {
            return damaged(
                QStringLiteral("it unpacks to more than %1 bytes").arg(kMaxUnpackedBytes));
        }
        std::optional<QByteArray> data = archive.read(entry.path);
        const QString name = decodeHelpText(entry.path);
        if (!data) {
            return damaged(QStringLiteral("its part \"%1\" cannot be read").arg(name));
        }
        const QString key = normalPath(name);
        if (!help.m_files.contains(key) && isPage(key)) {
            help.m_pages.append(name);
        }
        help.m_files.insert(key, *data);
    }
    if (help.m_pages.isEmpty()) {
        return damaged(QStringLiteral("it holds no pages"));
    }
    help.readSystem(archive.read("/#SYSTEM").value_or(QByteArray()));
    help.readContexts(archive.read("/#IVB").value_or(QByteArray()),
                      archive.read("/#STRINGS").value_or(QByteArray()));
    // Without names in the system record, the first contents and index files are the ones.
    for (const ChmArchive::Entry& entry : archive.entries()) {
        const QString key = normalPath(decodeHelpText(entry.path));
        if (help.m_contentsFile.isEmpty() && key.endsWith(QLatin1String(".hhc"))) {
            help.m_contentsFile = key;
        } else if (help.m_indexFile.isEmpty() && key.endsWith(QLatin1String(".hhk"))) {
            help.m_indexFile = key;
        }
    }
    help.m_contents = parseSitemap(help.m_files.value(normalPath(help.m_contentsFile)));
    help.m_index = parseSitemap(help.m_files.value(normalPath(help.m_indexFile)));
    if (!help.m_defaultTopic.isEmpty() && !help.contains(help.m_defaultTopic)) {
        help.m_defaultTopic.clear();
    }
    if (help.m_defaultTopic.isEmpty()) {
        QStringList ordered;
        flatten(help.m_contents, ordered);
        ordered.append(normalPath(help.m_pages.first()));
        for (const QString& page : ordered) {
            if (help.contains(page)) {
                help.m_defaultTopic = page;
                break;
            }
        }
    }
    return help;
}

void HelpFile::readSystem(const QByteArray& system) {
    // A version number, then records of a 16-bit code, a 16-bit length and that many bytes.
    qsizetype at = 4;
    while (at + 4 <= system.size()) {
        const quint16 code = qFromLittleEndian<quint16>(system.constData() + at);
        const quint16 length = qFromLittleEndian<quint16>(system.constData() + at + 2);
        at += 4;
        if (at + length > system.size()) {
            break;
        }
        const QString text = cString(system.mid(at, length), 0);
        switch (code) {
            case kSystemContentsFile:
                m_contentsFile = text;
                break;
            case kSystemIndexFile:
                m_indexFile = text;
                break;
            case kSystemDefaultTopic:
                m_defaultTopic = normalPath(topicOf(text));
                break;
            case kSystemTitle:
                m_title = text.simplified();
                break;
            default:
                break;
        }
        at += length;
    }
}

void HelpFile::readContexts(const QByteArray& ivb, const QByteArray& strings) {
    // The size of the table, then pairs of a context number and the place of its topic's name
    // in #STRINGS.
    if (ivb.size() < 4) {
        return;
    }
    const qsizetype size =
        std::min<qsizetype>(qFromLittleEndian<quint32>(ivb.constData()), ivb.size() - 4);
    for (qsizetype at = 4; at + 8 <= 4 + size; at += 8) {
        const quint32 context = qFromLittleEndian<quint32>(ivb.constData() + at);
        const quint32 offset = qFromLittleEndian<quint32>(ivb.constData() + at + 4);
        if (offset >= quint32(strings.size())) {
            continue;
        }
        const qsizetype end = strings.indexOf('\0', offset);
        const QString page =
            pageNamed(strings.mid(offset, (end < 0 ? strings.size() : end) - offset));
        if (!page.isEmpty() && !m_contexts.contains(context)) {
            m_contexts.insert(context, page);
        }
    }
}

QString HelpFile::pageNamed(const QByteArray& name) const {
    // Compilers write the topic's name as they found it, relative ("a.htm") or as the path of
    // the source page on the machine that built the file ("/home/me/help/a.htm"): the
    // longest tail of it that names a page of the file is the page.
    QString path = topicOf(decodeHelpText(name));
    path.replace(u'\\', u'/');
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    for (qsizetype first = 0; first < parts.size(); ++first) {
        const QString candidate = normalPath(parts.mid(first).join(u'/'));
        if (m_files.contains(candidate)) {
            return candidate;
        }
    }
    return QString();
}

bool HelpFile::contains(const QString& path) const {
    return m_files.contains(normalPath(path));
}

std::optional<QByteArray> HelpFile::file(const QString& path) const {
    const auto it = m_files.constFind(normalPath(path));
    if (it == m_files.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

QString HelpFile::pageTitle(const QString& path) const {
    return htmlTitle(decodeHelpText(m_files.value(normalPath(path))));
}

const QString& HelpFile::pageText(const QString& key) const {
    auto it = m_texts.find(key);
    if (it == m_texts.end()) {
        const QString html = decodeHelpText(m_files.value(key));
        it = m_texts.insert(key, htmlTitle(html) + u' ' + htmlToText(html));
    }
    return *it;
}

QStringList HelpFile::search(const QString& query) const {
    const QStringList words = query.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return {};
    }
    QStringList ordered;
    flatten(m_contents, ordered);
    for (const QString& page : m_pages) {
        ordered.append(normalPath(page));
    }
    QStringList found;
    for (const QString& page : ordered) {
        if (found.contains(page) || !m_files.contains(page) || !isPage(page)) {
            continue;
        }
        const QString& text = pageText(page);
        bool all = true;
        for (const QString& word : words) {
            all = all && text.contains(word, Qt::CaseInsensitive);
        }
        if (all) {
            found.append(page);
        }
    }
    return found;
}

QString HelpFile::normalPath(const QString& path) {
    QStringList parts;
    const QStringList given = QString(path).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : given) {
        if (part == QLatin1String("..")) {
            if (!parts.isEmpty()) {
                parts.removeLast();
            }
        } else if (part != QLatin1String(".")) {
            parts.append(part.toLower());
        }
    }
    return u'/' + parts.join(u'/');
}

}  // namespace gv
