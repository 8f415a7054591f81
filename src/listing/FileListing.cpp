#include "listing/FileListing.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

#include "platform/DirectoryReader.h"
#include "platform/PageBuffer.h"

namespace gv {

namespace {

// Names longer than this never occur on Linux (NAME_MAX); longer strings take the general path.
constexpr std::size_t kMaxShortcutName = 255;
// ICU compares at most this many significant digits as one number.
constexpr std::size_t kMaxNumberDigits = 254;
constexpr char16_t kNoAsciiFold = 0xFFFF;

constexpr bool isAsciiDigit(std::uint32_t c) {
    return c >= '0' && c <= '9';
}

constexpr char asciiLower(std::uint32_t c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
}

// The ASCII character a code unit folds to under Qt's case folding, or kNoAsciiFold. Only two
// characters outside ASCII fold into it: LONG S (to s) and KELVIN SIGN (to k).
constexpr char16_t foldToAscii(char16_t c) {
    if (c < 0x80) {
        return static_cast<char16_t>(asciiLower(c));
    }
    if (c == 0x017F) {
        return u's';
    }
    if (c == 0x212A) {
        return u'k';
    }
    return kNoAsciiFold;
}

// ---------------------------------------------------------------------------------------------
// Display order

// The current locale's collation for file names. The C locale has no rules of its own (Qt then
// compares code units and ignores the numeric mode); file managers use the root rules there,
// which are English's.
QLocale collationLocale() {
    const QLocale locale;
    if (locale.language() == QLocale::C) {
        return QLocale(QLocale::English, QLocale::UnitedStates);
    }
    return locale;
}

QCollator displayCollator(const QLocale& locale) {
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// The collator's order of the printable ASCII characters as one byte each, so that plain names
// sort by comparing bytes instead of calling ICU: a digit run becomes one number token (its
// significant digits, preceded by their count), every other character its rank.
struct AsciiOrder {
    bool usable = false;
    std::array<std::uint8_t, 128> rank{};  // 0: the character is not on the shortcut
};

// The most bytes a key can take: every character a number of one digit (three bytes).
constexpr std::size_t kMaxKeyBytes = 3 * kMaxShortcutName;

// Writes the key of a plain name to out (room for kMaxKeyBytes) and returns its length, or -1
// when the name is not plain.
template <typename Char>
std::ptrdiff_t writeAsciiKey(const AsciiOrder& order, const Char* s, std::size_t n, char* out) {
    using Unit = std::make_unsigned_t<Char>;
    if (!order.usable || n > kMaxShortcutName) {
        return -1;
    }
    std::size_t length = 0;
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<Unit>(s[i]);
        if (c >= 0x80 || order.rank[c] == 0) {
            return -1;
        }
        if (!isAsciiDigit(c)) {
            out[length++] = static_cast<char>(order.rank[c]);
            ++i;
            continue;
        }
        // Leading zeros do not count (img007 and img7 are the same number); zero keeps one.
        std::size_t first = i;
        while (first + 1 < n && s[first] == '0' && isAsciiDigit(static_cast<Unit>(s[first + 1]))) {
            ++first;
        }
        std::size_t end = first;
        while (end < n && isAsciiDigit(static_cast<Unit>(s[end]))) {
            ++end;
        }
        if (end - first > kMaxNumberDigits) {
            return -1;
        }
        out[length++] = static_cast<char>(order.rank['0']);
        out[length++] = static_cast<char>(end - first);
        for (std::size_t j = first; j < end; ++j) {
            out[length++] = static_cast<char>(s[j]);
        }
        i = end;
    }
    return std::ptrdiff_t(length);
}

template <typename Char>
bool appendAsciiKey(const AsciiOrder& order, const Char* s, std::size_t n, std::string& key) {
    char buffer[kMaxKeyBytes];
    const std::ptrdiff_t length = writeAsciiKey(order, s, n, buffer);
    if (length < 0) {
        return false;
    }
    key.append(buffer, std::size_t(length));
    return true;
}

int compareBytes(std::string_view a, std::string_view b) {
    const int r = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (r != 0) {
        return r;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// ASCII bytes as a string; a plain loop beats fromLatin1 on names this short.
QString plainName(std::string_view bytes) {
    QString name(qsizetype(bytes.size()), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(name.data());
    for (char c : bytes) {
        *out++ = static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return name;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

// Strings that would expose a difference between the shortcut and the collator: every single
// character, every pair from letters, digits and common punctuation (a contraction such as
// Czech "ch" or Danish "aa" shows there), and numbers against their neighbours.
QStringList probeStrings() {
    QStringList probes;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        probes.append(QString(QChar(c)));
    }
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0159 .-_~(");
    for (QChar a : alphabet) {
        for (QChar b : alphabet) {
            probes.append(QString(a) + b);
        }
    }
    for (const char* s : {"a9b", "a10b", "a010b", "a0b", "a00b", "9a", "10a", "1.5", "1.10", "x 2",
                          "x-2", "x_10", "x10_", "007", "7"}) {
        probes.append(QString::fromLatin1(s));
    }
    return probes;
}

AsciiOrder deriveAsciiOrder(const QCollator& collator) {
    AsciiOrder order;
    std::vector<char16_t> chars;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        chars.push_back(c);
    }
    const auto single = [](const char16_t& c) { return QStringView(&c, 1); };
    std::stable_sort(chars.begin(), chars.end(), [&](const char16_t& a, const char16_t& b) {
        return collator.compare(single(a), single(b)) < 0;
    });
    // A number sorts as one unit against every other character, so the digits must form one
    // block in the collator's order.
    int rank = 0;
    bool digitsSeen = false;
    for (std::size_t k = 0; k < chars.size(); ++k) {
        const char16_t c = chars[k];
        const bool afterDigit = k > 0 && isAsciiDigit(chars[k - 1]);
        if (isAsciiDigit(c)) {
            if (digitsSeen && !afterDigit) {
                return order;
            }
            if (!digitsSeen) {
                ++rank;
            }
            digitsSeen = true;
        } else if (k == 0 || afterDigit || collator.compare(single(chars[k - 1]), single(c)) != 0) {
            ++rank;
        }
        order.rank[c] = static_cast<std::uint8_t>(rank);
    }
    order.usable = true;

    QStringList probes = probeStrings();
    std::sort(probes.begin(), probes.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    std::string previous;
    for (qsizetype i = 0; i < probes.size(); ++i) {
        std::string key;
        if (!appendAsciiKey(order, probes[i].utf16(), std::size_t(probes[i].size()), key)) {
            order.usable = false;
            return order;
        }
        if (i > 0 &&
            sign(collator.compare(probes[i - 1], probes[i])) != sign(compareBytes(previous, key))) {
            order.usable = false;
            return order;
        }
        previous = std::move(key);
    }
    return order;
}

// Below this many names one thread sorts faster than two.
constexpr std::size_t kParallelSortItems = 20'000;

// Derived once per locale: the probe costs a few milliseconds.
std::shared_ptr<const AsciiOrder> asciiOrderFor(const QLocale& locale, const QCollator& collator) {
    static std::mutex mutex;
    static std::map<QString, std::shared_ptr<const AsciiOrder>> orders;
    const std::lock_guard lock(mutex);
    auto& order = orders[locale.name()];
    if (!order) {
        order = std::make_shared<const AsciiOrder>(deriveAsciiOrder(collator));
    }
    return order;
}

// Sorts names in display order. Plain ASCII names carry a byte key and compare with memcmp;
// other names carry ICU's sort key, and a plain name meets one of them through the collator.
// All three agree with the collator, and equal names fall back to comparing their characters.
class DisplaySorter final {
public:
    DisplaySorter() : m_locale(collationLocale()), m_collator(displayCollator(m_locale)) {}

    // A name as the file system stores it.
    void addEncoded(std::string_view name, std::uint32_t source) {
        if (!addPlain(reinterpret_cast<const unsigned char*>(name.data()), name.size(), source)) {
            addOther(decodeFileName(name), source);
        }
    }

    void addName(const QString& name, std::uint32_t source) {
        if (!addPlain(name.utf16(), std::size_t(name.size()), source)) {
            addOther(name, source);
        }
    }

    // Plain names sort on their keys alone, sixteen bytes at a time, on two threads when there
    // are many; the other names sort through the collator and then join them.
    void sort() {
        const auto plainEnd = std::partition(m_items.begin(), m_items.end(),
                                             [](const Item& item) { return item.other == kPlain; });
        sortPlain(m_items.begin(), plainEnd);
        const auto before = [this](const Item& a, const Item& b) {
            return compare(a, b, m_collator) < 0;
        };
        std::sort(plainEnd, m_items.end(), before);
        m_plainCount = std::size_t(plainEnd - m_items.begin());
    }

    // After sort(): calls visit(item) for each item in sorted order. The plain names and the others
    // are sorted apart; each other name goes in after the plain names that sort before it, found by
    // a search per other name instead of a comparison per name.
    template <typename Visit>
    void forEachSorted(Visit visit) const {
        const Item* plain = m_items.begin();
        const Item* plainEnd = plain + m_plainCount;
        for (const Item* other = plainEnd; other != m_items.end(); ++other) {
            const Item* stop = std::upper_bound(
                plain, plainEnd, *other,
                [this](const Item& a, const Item& b) { return compare(a, b, m_collator) < 0; });
            std::for_each(plain, stop, visit);
            visit(*other);
            plain = stop;
        }
        std::for_each(plain, plainEnd, visit);
    }

    int compareFirstTwo() const { return sign(compare(m_items[0], m_items[1], m_collator)); }

    // The sorted sources' positions, for reordering a list the caller holds.
    std::vector<std::uint32_t> sources() const {
        std::vector<std::uint32_t> result;
        result.reserve(m_items.size());
        forEachSorted([&result](const Item& item) { result.push_back(item.source); });
        return result;
    }

    // The sorted names without making their strings; the sorter is spent afterwards.
    FileNames takeFileNames();

private:
    static constexpr std::uint32_t kPlain = UINT32_MAX;

    // The first sixteen key bytes, big-endian, decide most comparisons without touching the
    // arena (keys hold no zero byte, so a shorter key's padding sorts first).
    static constexpr std::size_t kHeadBytes = 16;
    struct Item {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
        std::uint32_t keyStart = 0;  // in m_arena; the name's bytes follow the key
        std::uint16_t keyLength = 0;
        std::uint16_t nameLength = 0;
        std::uint32_t other = kPlain;  // index into m_others for the other names
        std::uint32_t source = 0;
    };
    struct Other {
        QString name;
        QCollatorSortKey key;
        // The key of the name's leading plain part, as far as what follows cannot change it:
        // a plain name that differs from it there is ordered without asking the collator.
        std::string prefixKey;
    };

    // The key and then the name's characters (ASCII, one byte each) go to the arena; false
    // when the name is not plain.
    template <typename Char>
    bool addPlain(const Char* name, std::size_t length, std::uint32_t source) {
        const std::size_t keyStart = m_arena.size();
        // Offsets are 32 bits: an arena that large (millions of long names) takes the rest
        // on the general path.
        if (keyStart > UINT32_MAX - (kMaxKeyBytes + kMaxShortcutName)) {
            return false;
        }
        char* out = m_arena.prepare(kMaxKeyBytes + kMaxShortcutName);
        const std::ptrdiff_t keyLength = writeAsciiKey(order(), name, length, out);
        if (keyLength < 0) {
            return false;
        }
        Item item;
        item.keyStart = static_cast<std::uint32_t>(keyStart);
        item.keyLength = static_cast<std::uint16_t>(keyLength);
        item.nameLength = static_cast<std::uint16_t>(length);
        item.source = source;
        unsigned char head[kHeadBytes] = {};
        std::memcpy(head, out, std::min<std::size_t>(kHeadBytes, item.keyLength));
        item.high = qFromBigEndian<quint64>(head);
        item.low = qFromBigEndian<quint64>(head + 8);
        char* characters = out + keyLength;
        for (std::size_t i = 0; i < length; ++i) {
            characters[i] = static_cast<char>(name[i]);
        }
        m_arena.commit(std::size_t(keyLength) + length);
        m_items.push_back(item);
        return true;
    }

    void addOther(const QString& name, std::uint32_t source) {
        Item item;
        item.other = static_cast<std::uint32_t>(m_others.size());
        item.source = source;
        m_others.push_back(Other{name, m_collator.sortKey(name), plainPrefixKey(name)});
        m_items.push_back(item);
    }

    std::string plainPrefixKey(const QString& name) {
        std::size_t end = 0;
        const std::size_t size = std::size_t(name.size());
        const auto* s = reinterpret_cast<const char16_t*>(name.utf16());
        while (end < size && s[end] < 0x80 && order().rank[s[end]] != 0) {
            ++end;
        }
        if (end == size) {
            return {};  // too long for the shortcut
        }
        // A digit run may go on in other digits, and the last character may combine with
        // what follows (an accent, a contraction), so both stay out.
        while (end > 0 && isAsciiDigit(s[end - 1])) {
            --end;
        }
        end = end > 0 ? end - 1 : 0;
        std::string key;
        appendAsciiKey(order(), s, end, key);
        return key;
    }

    static bool headBefore(const Item& a, const Item& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
    static bool sameHead(const Item& a, const Item& b) {
        return a.high == b.high && a.low == b.low;
    }

    // The sixteen key bytes from offset on, padded with zeros.
    void loadHead(Item& item, std::size_t offset) const {
        unsigned char head[kHeadBytes] = {};
        if (offset < item.keyLength) {
            std::memcpy(head, m_arena.data() + item.keyStart + offset,
                        std::min<std::size_t>(kHeadBytes, item.keyLength - offset));
        }
        item.high = qFromBigEndian<quint64>(head);
        item.low = qFromBigEndian<quint64>(head + 8);
    }

    void sortPlain(Item* first, Item* last) {
        const std::size_t n = std::size_t(last - first);
        if (n >= kParallelSortItems && std::thread::hardware_concurrency() >= 2) {
            // Split at the median of a sample of heads, so that the two parts need no merging
            // afterwards: everything left of the split sorts before everything right of it.
            std::array<Item, 63> sample;
            for (std::size_t i = 0; i < sample.size(); ++i) {
                sample[i] = first[i * (n - 1) / (sample.size() - 1)];
            }
            std::nth_element(sample.begin(), sample.begin() + 31, sample.end(), headBefore);
            const Item pivot = sample[31];
            Item* split = std::partition(
                first, last, [&pivot](const Item& item) { return headBefore(item, pivot); });
            if (split != first) {
                try {
                    std::thread helper([this, first, split] { sortPlainRange(first, split, 0); });
                    sortPlainRange(split, last, 0);
                    helper.join();
                    return;
                } catch (const std::system_error&) {
                    // No thread to be had: one sorts it all.
                }
            }
        }
        sortPlainRange(first, last, 0);
    }

    // Sorts plain items whose heads hold their key bytes from 16 * depth on. Items that agree
    // there are sorted by the next sixteen bytes, and so on; equal keys by their names. At
    // depth 0 the heads are left as they came, for compare().
    void sortPlainRange(Item* first, Item* last, std::size_t depth) const {
        std::sort(first, last, headBefore);
        const std::size_t nextOffset = (depth + 1) * kHeadBytes;
        for (Item* runStart = first; runStart != last;) {
            Item* runEnd = runStart + 1;
            bool longer = runStart->keyLength > nextOffset;
            while (runEnd != last && sameHead(*runEnd, *runStart)) {
                longer = longer || runEnd->keyLength > nextOffset;
                ++runEnd;
            }
            if (runEnd - runStart > 1) {
                if (!longer) {
                    // The keys end here and are equal: the names' characters decide.
                    std::sort(runStart, runEnd, [this](const Item& a, const Item& b) {
                        return compareBytes(nameOf(a), nameOf(b)) < 0;
                    });
                } else {
                    for (Item* item = runStart; item != runEnd; ++item) {
                        loadHead(*item, nextOffset);
                    }
                    sortPlainRange(runStart, runEnd, depth + 1);
                    if (depth == 0) {
                        for (Item* item = runStart; item != runEnd; ++item) {
                            loadHead(*item, 0);
                        }
                    }
                }
            }
            runStart = runEnd;
        }
    }

    std::string_view keyOf(const Item& item) const {
        return {m_arena.data() + item.keyStart, item.keyLength};
    }
    std::string_view nameOf(const Item& item) const {
        return {m_arena.data() + item.keyStart + item.keyLength, item.nameLength};
    }

    int compare(const Item& a, const Item& b, const QCollator& collator) const {
        if (a.other == kPlain && b.other == kPlain) {
            if (a.high != b.high) {
                return a.high < b.high ? -1 : 1;
            }
            if (a.low != b.low) {
                return a.low < b.low ? -1 : 1;
            }
            const int r =
                compareBytes(keyOf(a).substr(std::min<std::size_t>(kHeadBytes, a.keyLength)),
                             keyOf(b).substr(std::min<std::size_t>(kHeadBytes, b.keyLength)));
            // ASCII bytes compare as the names' characters do.
            return r != 0 ? r : compareBytes(nameOf(a), nameOf(b));
        }
        if (a.other != kPlain && b.other != kPlain) {
            const Other& x = m_others[a.other];
            const Other& y = m_others[b.other];
            const int r = x.key.compare(y.key);
            return r != 0 ? r : QStringView(x.name).compare(QStringView(y.name));
        }
        const Item& plain = a.other == kPlain ? a : b;
        const std::string_view plainKey = keyOf(plain);
        const std::string& prefixKey = m_others[a.other == kPlain ? b.other : a.other].prefixKey;
        const std::size_t shared = std::min(plainKey.size(), prefixKey.size());
        int r = std::memcmp(plainKey.data(), prefixKey.data(), shared);
        if (r == 0 && plainKey.size() < prefixKey.size()) {
            r = -1;
        }
        if (r != 0) {
            return a.other == kPlain ? r : -r;
        }
        char16_t buffer[kMaxShortcutName];
        const std::string_view bytes = nameOf(plain);
        std::copy(bytes.begin(), bytes.end(), buffer);
        const QStringView plainName(buffer, qsizetype(bytes.size()));
        const QStringView otherName(m_others[a.other == kPlain ? b.other : a.other].name);
        const QStringView left = a.other == kPlain ? plainName : otherName;
        const QStringView right = a.other == kPlain ? otherName : plainName;
        r = collator.compare(left, right);
        return r != 0 ? r : left.compare(right);
    }

    QLocale m_locale;
    QCollator m_collator;
    // Derived with the first name: a folder without images never needs it.
    const AsciiOrder& order() {
        if (!m_order) {
            m_order = asciiOrderFor(m_locale, m_collator);
        }
        return *m_order;
    }
    std::shared_ptr<const AsciiOrder> m_order;
    // Page buffers: a big folder fills them without copying or faulting page by page.
    PageArray<Item> m_items;
    std::size_t m_plainCount = 0;  // sorted: the plain names first, then the others
    PageBytes m_arena;
    std::vector<Other> m_others;
};

// ---------------------------------------------------------------------------------------------
// Pattern

// "*.ext" with a plain ASCII ending: compared as a suffix, no regular expression needed.
bool isPlainSuffixWildcard(QStringView piece) {
    if (piece.size() < 2 || piece.front() != u'*') {
        return false;
    }
    return std::all_of(piece.begin() + 1, piece.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return u > 0x20 && u < 0x7F && u != u'*' && u != u'?' && u != u'[' && u != u']' &&
               u != u'\\' && u != u'/';
    });
}

enum class TailMatch { Yes, No, NeedsDecoding };

// suffix is lower-case ASCII. A tail with a byte beyond ASCII cannot be judged on bytes: the
// characters there may fold to the suffix's letters, or shift its alignment.
TailMatch matchTail(std::string_view name, const std::string& suffix) {
    if (suffix.size() > name.size()) {
        return TailMatch::No;
    }
    const char* tail = name.data() + (name.size() - suffix.size());
    bool same = true;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const auto b = static_cast<unsigned char>(tail[i]);
        if (b >= 0x80) {
            return TailMatch::NeedsDecoding;
        }
        same = same && asciiLower(b) == suffix[i];
    }
    return same ? TailMatch::Yes : TailMatch::No;
}

// Whether needle (already folded) occurs in haystack folded character by character.
template <typename Char, typename Fold>
bool containsFoldedWith(std::basic_string_view<Char> haystack,
                        std::basic_string_view<Char> needle, Fold fold) {
    const std::size_t n = haystack.size();
    const std::size_t m = needle.size();
    if (m > n) {
        return false;
    }
    const Char first = needle[0];
    for (std::size_t p = 0; p + m <= n; ++p) {
        if (fold(haystack[p]) != first) {
            continue;
        }
        std::size_t k = 1;
        while (k < m && fold(haystack[p + k]) == needle[k]) {
            ++k;
        }
        if (k == m) {
            return true;
        }
    }
    return false;
}

bool containsFolded(QStringView haystack, const std::u16string& needle) {
    return containsFoldedWith(
        std::u16string_view(haystack.utf16(), std::size_t(haystack.size())),
        std::u16string_view(needle), [](char16_t c) { return foldToAscii(c); });
}

// The same for a plain name's bytes and a lower-case ASCII needle.
bool containsFoldedAscii(std::string_view haystack, std::string_view needle) {
    return containsFoldedWith(haystack, needle,
                              [](char c) { return asciiLower(static_cast<unsigned char>(c)); });
}

}  // namespace

FilePatternMatcher::FilePatternMatcher(QStringView pattern) {
    for (QStringView piece : pattern.tokenize(u';', Qt::SkipEmptyParts)) {
        piece = piece.trimmed();
        if (piece.isEmpty()) {
            continue;
        }
        if (piece == u"*") {
            m_everything = true;
        } else if (isPlainSuffixWildcard(piece)) {
            std::string suffix;
            for (QChar c : piece.mid(1)) {
                suffix.push_back(asciiLower(c.unicode()));
            }
            m_suffixesByLast[static_cast<unsigned char>(suffix.back())].push_back(suffix);
            ++m_suffixCount;
        } else {
            m_wildcards.emplace_back(
                QRegularExpression::wildcardToRegularExpression(piece.toString()),
                QRegularExpression::CaseInsensitiveOption);
        }
    }
}

bool FilePatternMatcher::matches(QStringView name) const {
    if (m_everything) {
        return true;
    }
    if (!name.isEmpty()) {
        const char16_t last = foldToAscii(name.back().unicode());
        if (last != kNoAsciiFold) {
            for (const std::string& suffix : m_suffixesByLast[last]) {
                if (name.endsWith(QLatin1StringView(suffix.data(), qsizetype(suffix.size())),
                                  Qt::CaseInsensitive)) {
                    return true;
                }
            }
        }
    }
    return matchesWildcards(name);
}

bool FilePatternMatcher::matchesEncoded(std::string_view name) const {
    if (m_everything) {
        return true;
    }
    if (name.empty() || matchesNothing()) {
        return false;
    }
    const auto last = static_cast<unsigned char>(name.back());
    bool decode = !m_wildcards.empty() || last >= 0x80;
    if (last < 0x80) {
        for (const std::string& suffix :
             m_suffixesByLast[static_cast<unsigned char>(asciiLower(last))]) {
            switch (matchTail(name, suffix)) {
                case TailMatch::Yes:
                    return true;
                case TailMatch::NeedsDecoding:
                    decode = true;
                    break;
                case TailMatch::No:
                    break;
            }
        }
    }
    return decode && matches(decodeFileName(name));
}

bool FilePatternMatcher::matchesWildcards(QStringView name) const {
    const QString text = name.toString();
    return std::any_of(m_wildcards.begin(), m_wildcards.end(),
                       [&](const QRegularExpression& re) { return re.match(text).hasMatch(); });
}

void sortForDisplay(QStringList& names) {
    DisplaySorter sorter;
    for (qsizetype i = 0; i < names.size(); ++i) {
        sorter.addName(names.at(i), static_cast<std::uint32_t>(i));
    }
    sorter.sort();
    QStringList sorted;
    sorted.reserve(names.size());
    for (std::uint32_t source : sorter.sources()) {
        sorted.append(names.at(source));
    }
    names = std::move(sorted);
}

int compareForDisplay(QStringView a, QStringView b) {
    DisplaySorter sorter;
    sorter.addName(a.toString(), 0);
    sorter.addName(b.toString(), 1);
    return sorter.compareFirstTwo();
}

struct FileNames::Storage {
    PageBytes arena;                      // the plain names' characters, among their keys
    PageArray<FileNames::Entry> entries;  // in display order; none: the others are the list
    QStringList others;
};

// Builds FileNames from a sorter's storage (the one class allowed to fill them).
class FileNamesBuilder {
public:
    static FileNames make(std::shared_ptr<const FileNames::Storage> storage, qsizetype size) {
        FileNames names;
        names.m_storage = std::move(storage);
        names.m_size = size;
        return names;
    }
};

FileNames DisplaySorter::takeFileNames() {
    auto storage = std::make_shared<FileNames::Storage>();
    forEachSorted([&](const Item& item) {
        if (item.other == kPlain) {
            storage->entries.push_back({item.keyStart + item.keyLength, item.nameLength, -1});
        } else {
            storage->entries.push_back({0, 0, std::int32_t(storage->others.size())});
            storage->others.append(std::move(m_others[item.other].name));
        }
    });
    storage->arena = std::move(m_arena);
    const auto size = qsizetype(storage->entries.size());
    return FileNamesBuilder::make(std::move(storage), size);
}

FileNames FileNames::fromList(const QStringList& names) {
    auto storage = std::make_shared<Storage>();
    storage->others = names;
    return FileNamesBuilder::make(std::move(storage), names.size());
}

QString FileNames::at(qsizetype i) const {
    if (i < 0 || i >= m_size) {
        return QString();
    }
    if (m_storage->entries.empty()) {
        return m_storage->others.at(i);
    }
    const Entry& e = m_storage->entries[std::size_t(i)];
    if (e.other >= 0) {
        return m_storage->others.at(e.other);
    }
    return plainName(std::string_view(m_storage->arena.data() + e.start, e.length));
}

QStringList FileNames::toList() const {
    QStringList list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i) {
        list.append(at(i));
    }
    return list;
}

FileNames readImageFileNames(const QString& folder, const QString& pattern, bool* ok) {
    const FilePatternMatcher matcher(pattern);
    DisplaySorter sorter;
    std::uint32_t count = 0;
    const bool read = forEachFolderFile(
        folder, [&matcher](std::string_view name) { return matcher.matchesEncoded(name); },
        [&](std::string_view name) { sorter.addEncoded(name, count++); });
    if (ok != nullptr) {
        *ok = read;
    }
    if (!read) {
        return {};
    }
    sorter.sort();
    return sorter.takeFileNames();
}

QStringList listImageFiles(const QString& folder, const QString& pattern, bool* ok) {
    return readImageFileNames(folder, pattern, ok).toList();
}

QList<int> fileseekMatches(const FileNames& names, const QString& text) {
    QList<int> found;
    if (text.isEmpty() || names.isEmpty()) {
        return found;
    }
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii) {
        // Rare enough to take the general way: Qt's folding, name by name.
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (QStringView(names.at(i)).contains(text, Qt::CaseInsensitive)) {
                found.append(int(i));
            }
        }
        return found;
    }
    // Plain text: fold each name's characters on the fly instead of asking Qt's general
    // case-insensitive search, which folds through the Unicode tables for every character.
    // Plain names are searched in the listing's own bytes; ASCII folds only to ASCII.
    std::u16string needle;
    std::string needleBytes;
    for (QChar c : text) {
        needle.push_back(foldToAscii(c.unicode()));
        needleBytes.push_back(static_cast<char>(needle.back()));
    }
    const FileNames::Storage& storage = *names.m_storage;
    if (storage.entries.empty()) {
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (containsFolded(storage.others.at(i), needle)) {
                found.append(int(i));
            }
        }
        return found;
    }
    const char* arena = storage.arena.data();
    // The names lie in the arena in the order they were read, not in list order: fetch a few
    // names ahead so that the search does not wait for memory at every name.
    constexpr qsizetype kAhead = 16;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i + kAhead < names.size()) {
            __builtin_prefetch(arena + storage.entries[std::size_t(i + kAhead)].start);
        }
        const FileNames::Entry& e = storage.entries[std::size_t(i)];
        const bool hit = e.other >= 0
                             ? containsFolded(storage.others.at(e.other), needle)
                             : containsFoldedAscii(std::string_view(arena + e.start, e.length),
                                                   needleBytes);
        if (hit) {
            found.append(int(i));
        }
    }
    return found;
}

QList<int> fileseekMatches(const QStringList& names, const QString& text) {
    return fileseekMatches(FileNames::fromList(names), text);
}

}  // namespace gv
