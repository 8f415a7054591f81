#pragma once
// A compiled help file read whole into memory: its pages and pictures, its contents and index,
// its default topic and the table that maps context numbers to topics. Read once through one
// descriptor and within fixed limits; a damaged file comes back with its problem, never half
// read.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "help/HelpMarkup.h"

namespace gv {

class HelpFile final {
public:
    enum class Problem { None, Missing, NotAFile, Unreadable, TooLarge, Damaged };

    // Far more than any help file of ours (about a megabyte).
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;
    // What all its files together may unpack to.
    static constexpr qint64 kMaxUnpackedBytes = 128 * 1024 * 1024;

    // Reads the file at path (following a link, as a user's own links are meant).
    static HelpFile load(const QString& path);
    // Reads a help file from its bytes.
    static HelpFile fromBytes(const QByteArray& bytes);

    Problem problem() const { return m_problem; }
    // What is wrong, in words, for a message ("the system says: Permission denied").
    QString problemText() const { return m_problemText; }

    QString title() const { return m_title; }
    // Paths are absolute within the file ("/index.htm") and found without regard to case.
    QString defaultTopic() const { return m_defaultTopic; }
    const QList<SitemapItem>& contents() const { return m_contents; }
    const QList<SitemapItem>& index() const { return m_index; }
    // The topic a context number opens, or an empty string when the table lacks it.
    QString contextTopic(quint32 context) const { return m_contexts.value(context); }
    const QHash<quint32, QString>& contexts() const { return m_contexts; }

    bool contains(const QString& path) const;
    std::optional<QByteArray> file(const QString& path) const;
    // Every HTML page, in the order of the container.
    QStringList pages() const { return m_pages; }
    QString pageTitle(const QString& path) const;
    // The pages that hold every word of the query (letter case ignored), in contents order
    // and then the others. Words are parts of the text: "capt" finds "capture".
    QStringList search(const QString& query) const;

    // The absolute, lower-case form of a path within the file, with "." and ".." resolved.
    static QString normalPath(const QString& path);

private:
    void readSystem(const QByteArray& system);
    void readContexts(const QByteArray& ivb, const QByteArray& strings);
    QString pageNamed(const QByteArray& name) const;
    const QString& pageText(const QString& key) const;

    Problem m_problem = Problem::None;
    QString m_problemText;
    QString m_title;
    QString m_defaultTopic;
    QString m_contentsFile;
    QString m_indexFile;
    QList<SitemapItem> m_contents;
    QList<SitemapItem> m_index;
    QHash<quint32, QString> m_contexts;
    QHash<QString, QByteArray> m_files;  // by normalPath
    QStringList m_pages;                 // as the container spells them
    mutable QHash<QString, QString> m_texts;
};

}  // namespace gv
