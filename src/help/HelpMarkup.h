#pragma once
// The little HTML a help file holds that the viewer itself must understand: the contents and
// index lists (sitemaps), a page's title, and its text for the full-text search. Plain
// functions over bytes of a file that may be damaged; each reads a bounded amount.

#include <QByteArray>
#include <QList>
#include <QString>

namespace gv {

struct SitemapItem {
    QString name;
    QString local;  // the page, relative to the help file's root; empty for a heading
    QList<SitemapItem> children;
};

// Lists deeper than this are read as if they were this deep.
inline constexpr int kMaxSitemapDepth = 16;
// Items past this many are left out.
inline constexpr int kMaxSitemapItems = 10000;

// The items of a contents (.hhc) or index (.hhk) file: each <OBJECT type="text/sitemap">
// with its "Name" and "Local" parameters, nested as its <UL> lists nest.
QList<SitemapItem> parseSitemap(const QByteArray& html);

// The text of a file of the help: UTF-8 when it is valid UTF-8 (or says so), else Latin-1.
QString decodeHelpText(const QByteArray& bytes);
// The text of a page's <title>, its blanks simplified; empty without one.
QString htmlTitle(const QString& html);
// The words a reader sees on the page: no tags, no scripts or styles, entities decoded.
QString htmlToText(const QString& html);
// "&amp;" to "&", "&#233;" to "é", and the other entities of HTML 4's Latin-1 set that help
// pages use.
QString decodeEntities(const QString& text);

}  // namespace gv
