// libFuzzer target for the help file reader: the first byte chooses what the rest is, the
// whole compiled container (CHMLib and the records read from it) or one of the HTML files it
// holds (contents, index, pages). Whatever the bytes, a file comes back whole or with its
// problem, every context topic names a file it holds, and nothing reads without limit.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "help/HelpFile.h"
#include "help/HelpMarkup.h"

namespace {

int countItems(const QList<gv::SitemapItem>& items, int depth) {
    if (!items.isEmpty() && depth > gv::kMaxSitemapDepth) {
        std::abort();
    }
    int n = 0;
    for (const gv::SitemapItem& item : items) {
        n += 1 + countItems(item.children, depth + 1);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    if (data[0] % 2 == 1) {
        if (countItems(gv::parseSitemap(bytes), 1) > gv::kMaxSitemapItems) {
            std::abort();
        }
        const QString text = gv::decodeHelpText(bytes);
        gv::htmlTitle(text);
        gv::htmlToText(text);
        return 0;
    }
    const gv::HelpFile file = gv::HelpFile::fromBytes(bytes);
    if (file.problem() != gv::HelpFile::Problem::None) {
        if (!file.pages().isEmpty() || file.problemText().isEmpty()) {
            std::abort();
        }
        return 0;
    }
    if (file.pages().isEmpty() || !file.contains(file.defaultTopic())) {
        std::abort();
    }
    for (auto it = file.contexts().cbegin(); it != file.contexts().cend(); ++it) {
        if (!file.contains(it.value())) {
            std::abort();
        }
    }
    countItems(file.contents(), 1);
    countItems(file.index(), 1);
    for (const QString& page : file.search(QStringLiteral("a e"))) {
        file.pageTitle(page);
    }
    return 0;
}
