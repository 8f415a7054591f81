#include <gtest/gtest.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <random>
#include <string>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "images/ImageTypeCatalogue.h"
#include "listing/FileListing.h"
#include "platform/FileNameBytes.h"
#include "support/ImageFiles.h"
#include "support/RawFolder.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

// The default locale for one test, restored afterwards.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    QLocale m_saved;
};

using Folder = gvtest::RawFolder;

// What the desktop's file managers do: the collator in numeric, case-blind mode, and the
// characters themselves for names it calls equal.
QStringList collatorOrder(QStringList names, const QLocale& locale) {
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        const int r = collator.compare(a, b);
        return r != 0 ? r < 0 : a < b;
    });
    return names;
}

// File-name-like strings: mostly plain ASCII with digit runs, case and punctuation, some with
// accents, other scripts or control characters, so that both ways of comparing meet.
QStringList generatedNames(int count, unsigned seed) {
    // Pieces split at '|': letters, punctuation, digit runs, letters beyond ASCII, controls.
    static const QStringList kPieces =
        QStringLiteral(
            "img|IMG|Img_|dsc|a|A|b|z|Z|photo |photo-|photo_|.|..| |-|_|~|(|)|[1]|!|#|"
            "&|'|+|,|@|$|^|`|{|0|00|007|1|2|9|10|99|100|0010|12345678901234567890|é|É|"
            "ü|ß|æ|ø|ch|aa|ll|日本|ſ|\t|\n|.jpg|.JPG|.jpeg|.png")
            .split(u'|');
    std::mt19937 random(seed);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString name;
        const int pieces = 1 + int(random() % 6);
        for (int p = 0; p < pieces; ++p) {
            name += kPieces[random() % kPieces.size()];
        }
        names.append(name);
    }
    names.append(QString(300, QChar(u'7')));  // a digit run longer than ICU takes as one number
    names.append(QString(300, QChar(u'7')) + QStringLiteral("8"));
    return names;
}

}  // namespace

TEST(FileListing, PatternMatchesNames) {
    struct Case {
        const char* pattern;
        std::string name;  // as stored on disk
        bool matches;
    };
    const Case cases[] = {
        {"*.jpg", "photo.jpg", true},
        {"*.jpg", "IMG_0001.JPG", true},
        {"*.jpg", "Photo.Jpg", true},
        {"*.JPG", "photo.jpg", true},
        {"*.jpg", ".jpg", true},
        {"*.jpg", "jpg", false},
        {"*.jpg", "photo.jpg.txt", false},
        {"*.jpg", "photo.jpg ", false},
        {"*.jpg", "photojpg", false},
        {"*.jpe", "photo.jpeg", false},
        {"*.jpeg", "photo.jpe", false},
        {"*.jpe", "photo.JPE", true},
        {"*.jpg;*.jpe;*.jpeg", "photo.jpeg", true},
        {"*.tif;*.tiff", "scan.TIFF", true},
        {"*.tiff", "scan.tif", false},
        // Blanks around the parts and empty parts are nothing.
        {" *.bmp ; ;*.gif ", "a.GIF", true},
        {" *.bmp ; ;*.gif ", "a.bmp", true},
        {"", "a.bmp", false},
        {" ; ;", "a.bmp", false},
        {"*", ".hidden", true},
        {"*.bmp;*", "notes.txt", true},
        // General wildcards.
        {"photo?.png", "photo1.png", true},
        {"photo?.png", "PHOTO1.PNG", true},
        {"photo?.png", "photo12.png", false},
        {"img*", "IMG_1.txt", true},
        {"*.*", "noextension", false},
        {"*.*", "a.b", true},
        {"*1*.jpg", "x1y.JPG", true},
        {"*.jp?", "x.jpe", true},
        {"*.jp?", "x.jpeg", false},
        {"*.[jp]ng", "x.png", true},
        {"*.[jp]ng", "x.gng", false},
        // Names beyond ASCII, and names that are not UTF-8 at all.
        {"*.jpg", "café.JPG", true},
        {"*.jpg", "x.jpĝ", false},
        {"*.jpg", "日本.jpg", true},
        {"*.jpg", "bad\xff.jpg", true},
        {"*.jpg", "cut\xe2\x82.jpg", true},
        {"*.jpg", "bad.jp\xff", false},
        {"*.jpg", "x.jpgé", false},
        {"*.gif", "line\nbreak.gif", true},
        // Case folding as Qt does it everywhere: LONG S is an s, KELVIN SIGN a k.
        {"*.eps", "x.ep\xc5\xbf", true},
        {"*.eps", "x.EP\xc5\xbf", true},
        {"*.eps", "x.e\xc5\xbf", false},
        {"*k", "100\xe2\x84\xaa", true},
        {"*.jpé", "x.JPÉ", true},
        {"*.jpé", "x.jpe", false},
    };
    for (const Case& c : cases) {
        const FilePatternMatcher matcher(QString::fromUtf8(c.pattern));
        const QString decoded = QFile::decodeName(QByteArray::fromStdString(c.name));
        EXPECT_EQ(matcher.matches(decoded), c.matches) << c.pattern << " / " << c.name;
        EXPECT_EQ(matcher.matchesEncoded(c.name), c.matches) << c.pattern << " / " << c.name;
    }
    EXPECT_TRUE(FilePatternMatcher(u"").matchesNothing());
    EXPECT_TRUE(FilePatternMatcher(u" ;  ; ").matchesNothing());
    EXPECT_FALSE(FilePatternMatcher(u"*.bmp").matchesNothing());
}

TEST(FileListing, SortOrderTable) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    const QStringList orders[] = {
        // Digit runs by value; equal values by their characters.
        {"img1.jpg", "img2.jpg", "img10.jpg", "img100.jpg"},
        {"img007.jpg", "img7.jpg", "img08.jpg", "img9.jpg"},
        {"img0.jpg", "img00.jpg", "img1.jpg"},
        {"x2y9.png", "x2y10.png", "x10y1.png"},
        {"2.jpg", "10.jpg", "a.jpg"},
        // Case is ignored; names equal but for case keep a fixed order.
        {"A.jpg", "a.jpg", "B.jpg", "b.jpg"},
        {"apple.jpg", "Banana.jpg", "cherry.jpg"},
        {"IMG_0001.JPG", "img_0002.jpg", "IMG_0003.jpg"},
        // Accents sort with their letter.
        {"cafe.jpg", "café.jpg", "cafes.jpg"},
        {"tree.jpg", "Über.jpg", "vase.jpg"},
        // Punctuation before digits before letters; a shorter name first.
        {"a b.jpg", "a_b.jpg", "a-b.jpg", "a.jpg", "a1.jpg", "ab.jpg"},
        {"photo", "photo (copy)", "photo.jpg", "photo1"},
    };
    for (const QStringList& expected : orders) {
        QStringList names = expected;
        std::reverse(names.begin(), names.end());
        sortForDisplay(names);
        EXPECT_EQ(names, expected);
        for (qsizetype i = 1; i < expected.size(); ++i) {
            EXPECT_LT(compareForDisplay(expected[i - 1], expected[i]), 0)
                << expected[i - 1].toStdString() << " < " << expected[i].toStdString();
            EXPECT_GT(compareForDisplay(expected[i], expected[i - 1]), 0);
        }
    }
    EXPECT_EQ(compareForDisplay(u"same.jpg", u"same.jpg"), 0);
}

TEST(FileListing, SortDoesNotDependOnTheIncomingOrder) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    QStringList names = {"a.jpg", "A.jpg", "á.jpg", "img07.jpg", "img7.jpg", "Img7.jpg"};
    std::sort(names.begin(), names.end());
    QStringList first;
    do {
        QStringList shuffled = names;
        sortForDisplay(shuffled);
        if (first.isEmpty()) {
            first = shuffled;
        }
        ASSERT_EQ(shuffled, first);
    } while (std::next_permutation(names.begin(), names.end()));
}

// Names that share beginnings of 15 to 50 characters: they differ just before, at and after
// the points where the sort looks at the next part of their keys; some only in letter case.
static QStringList namesWithLongBeginnings() {
    QStringList names;
    for (int length : {15, 16, 17, 31, 32, 33, 47, 48, 50}) {
        const QString stem =
            QString("family-reunion-at-the-lake-by-the-old-mill-house-x").left(length);
        for (const char* tail : {"", "a", "A", "b", "1", "01", "2", "10", "a1", "a10", "a2", " z",
                                 "-", ".jpg", "é", "ß1"}) {
            names.append(stem + QString::fromUtf8(tail));
            names.append(stem.toUpper() + QString::fromUtf8(tail));
        }
    }
    std::mt19937 random(3);
    std::shuffle(names.begin(), names.end(), random);
    return names;
}

TEST(FileListing, SortEqualsTheCollatorOrderInEveryLocale) {
    // Czech (ch after h), Danish (aa as å), Swedish and Lithuanian tailor plain letters; the
    // result must still be the collator's. Big lists are sorted in two halves on two threads
    // and merged; names the collator must order fall into both halves.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QStringList generated = generatedNames(3000, 11);
    const std::pair<QLocale, QStringList> cases[] = {
        {english, generated},
        {QLocale(QLocale::German, QLocale::Germany), generated},
        {QLocale(QLocale::Czech, QLocale::CzechRepublic), generated},
        {QLocale(QLocale::Danish, QLocale::Denmark), generated},
        {QLocale(QLocale::Swedish, QLocale::Sweden), generated},
        {QLocale(QLocale::Lithuanian, QLocale::Lithuania), generated},
        {QLocale(QLocale::Danish, QLocale::Denmark), generatedNames(40000, 5)},
        {english, namesWithLongBeginnings()},
    };
    for (const auto& [locale, names] : cases) {
        const LocaleScope scope(locale);
        QStringList sorted = names;
        sortForDisplay(sorted);
        EXPECT_EQ(sorted, collatorOrder(names, locale))
            << locale.name().toStdString() << ", " << names.size() << " names";
    }
}

TEST(FileListing, LocaleRulesApply) {
    {
        const LocaleScope czech(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        QStringList names = {"ida.jpg", "chata.jpg", "hrad.jpg", "cibule.jpg"};
        sortForDisplay(names);
        EXPECT_EQ(names, QStringList({"cibule.jpg", "hrad.jpg", "chata.jpg", "ida.jpg"}));
    }
    {
        // The C locale has no rules of its own; numbers still count by value.
        const LocaleScope c(QLocale::c());
        QStringList names = {"img10.jpg", "Img2.jpg", "img1.jpg"};
        sortForDisplay(names);
        EXPECT_EQ(names, QStringList({"img1.jpg", "Img2.jpg", "img10.jpg"}));
    }
}

TEST(FileListing, ListsTheFolderFilteredAndSorted) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    Folder f;
    for (const char* name :
         {"img10.jpg", "img9.JPG", "IMG1.jpeg", "notes.txt", "b.jpe", ".hidden.png", "Beach.gif",
          "with blank.bmp", "café.tif", "x.jpgx", "thumbs.db", "not utf8 \xff.png"}) {
        f.file(name);
    }
    ASSERT_EQ(::mkdir(f.at("folder.jpg").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("img10.jpg", f.at("link.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere.jpg", f.at("dangling.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("folder.jpg", f.at("folder link.jpg").c_str()), 0);

    bool ok = false;
    EXPECT_EQ(
        listImageFiles(f.path(), allTypesPattern(), &ok),
        QStringList({".hidden.png", "b.jpe", "Beach.gif", "café.tif", "IMG1.jpeg", "img9.JPG",
                     "img10.jpg", "link.jpg",
                     gv::fileNameFromBytes(std::string("not utf8 \xff.png")), "with blank.bmp"}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(listImageFiles(f.path(), QStringLiteral("*.jpg;*.gif"), &ok),
              QStringList({"Beach.gif", "img9.JPG", "img10.jpg", "link.jpg"}));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(listImageFiles(f.path(), QString(), &ok).isEmpty());
    EXPECT_TRUE(ok);
    for (const QString& missing : {f.path() + QStringLiteral("/nothing"),
                                   f.path() + QStringLiteral("/notes.txt"), QString()}) {
        ok = true;
        EXPECT_TRUE(listImageFiles(missing, QStringLiteral("*"), &ok).isEmpty());
        EXPECT_FALSE(ok);
    }
    EXPECT_TRUE(
        listImageFiles(f.path() + QStringLiteral("/nothing"), QStringLiteral("*")).isEmpty());
}

TEST(FileListing, ListingAgreesWithQDirAndTheCollator) {
    // Names made to sit on the edges: every type's extension in odd case, near misses,
    // non-image files and names beyond ASCII.
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    // (QDir leaves out names that are not UTF-8: Qt cannot open them by their decoded names.)
    static const char* const kStems[] = {"img",   "IMG_", "Photo ", "a",  "Z",      ".",
                                         "café ", "日本", "ß",      "\t", "e\u0301"};
    static const char* const kEndings[] = {
        ".jpg", ".JPG", ".Jpeg", ".jpe", ".jpeg~", ".jp",       ".bmp",         ".BMP",
        ".dib", ".rle", ".gif",  ".tif", ".TIFF",  ".tiff.bak", ".pcx",         ".png",
        ".pnG", ".wmf", ".emf",  ".pct", ".tga",   ".eps",      ".ep\xc5\xbf",  ".cur",
        ".ico", ".txt", ".xmp",  "",     "jpg",    ".jpg.txt",  ".JPG\xc3\xa9", ".\xc3\xa9jpg"};
    Folder f;
    std::mt19937 random(5);
    for (int i = 0; i < 600; ++i) {
        f.file(kStems[random() % std::size(kStems)] + std::to_string(random() % 200) + "-" +
               std::to_string(i) + kEndings[random() % std::size(kEndings)]);
    }
    const QString patterns[] = {allTypesPattern(), QString(kInitialFilePattern),
                                QStringLiteral("*.jpg; *.JPE ;*.t?f*;[xi]*.png")};
    for (const QString& pattern : patterns) {
        QDir dir(f.path());
        dir.setNameFilters(pattern.split(u';', Qt::SkipEmptyParts));
        QStringList filters = dir.nameFilters();
        for (QString& filter : filters) {
            filter = filter.trimmed();
        }
        dir.setNameFilters(filters);
        dir.setFilter(QDir::Files | QDir::Hidden);
        const QStringList expected = dir.entryList();
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(listImageFiles(f.path(), pattern), collatorOrder(expected, QLocale()))
            << pattern.toStdString();
    }
}

TEST(FileListing, FileseekFindsNamesInListOrder) {
    const QStringList names = {"Beach.jpg", "photo.jpg",        "sunbeam.gif",  "BEAR.PNG",
                               "tree.bmp",  "Übersicht.jpg",    "a\u212Aa.png", "mo\u017Fs.tif",
                               "aaab.jpg",  "b\U0001F600ea.jpg"};
    struct Case {
        QString text;
        QList<int> found;
    };
    const Case cases[] = {
        {"", {}},
        {"JPG", {0, 1, 5, 8, 9}},
        {"bea", {0, 2, 3}},
        {"BEA", {0, 2, 3}},
        {".", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"aab", {8}},
        {"ab.jpg", {8}},
        {"k", {6}},   // KELVIN SIGN folds to k
        {"ss", {7}},  // so does LONG S to s
        {"über", {5}},
        {"ÜBER", {5}},
        {"\U0001F600e", {9}},
        {"tree.bmp and more", {}},
        {"xyz", {}},
        {" ", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileseekMatches(names, c.text), c.found) << c.text.toStdString();
    }
    EXPECT_TRUE(fileseekMatches(QStringList(), QStringLiteral("a")).isEmpty());
    EXPECT_TRUE(fileseekMatches(FileNames(), QStringLiteral("a")).isEmpty());
}

TEST(FileListing, FileseekAgreesWithQtCaseInsensitiveSearch) {
    // The same search over strings and over a folder's listing, which keeps plain names as
    // bytes and the others as strings.
    const QStringList generated = generatedNames(2000, 3);
    gvtest::RawFolder folder;
    for (const QString& name : generated) {
        const std::string stored = QFile::encodeName(name).toStdString();
        // Only names a file can have.
        if (stored != "." && stored != ".." && stored.find('/') == std::string::npos &&
            stored.size() <= 255 && !QFile::exists(QString::fromStdString(folder.at(stored)))) {
            folder.file(stored);
        }
    }
    for (const char* odd : {"mo\xC5\xBF"
                            "s.png",
                            "a\xE2\x84\xAA"
                            "a.png",
                            "TAB\tS.jpg"}) {
        folder.file(odd);
    }
    const FileNames listed = readImageFileNames(folder.path(), QStringLiteral("*"));
    ASSERT_GT(listed.size(), generated.size() / 2);
    const QStringList names = listed.toList();
    const QString texts[] = {"img", "IMG", "g1", "0",  "007",    ".jp", "jpg", "s", "S", "é",
                             "É",   "ss",  "ch", "\t", "photo-", "日",  "a.",  "ß", "k", "TAB\ts"};
    for (const QString& text : texts) {
        QList<int> expected;
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].contains(text, Qt::CaseInsensitive)) {
                expected.append(int(i));
            }
        }
        EXPECT_EQ(fileseekMatches(names, text), expected) << text.toStdString();
        EXPECT_EQ(fileseekMatches(listed, text), expected) << text.toStdString();
    }
}

TEST(FileNames, MadeOnDemandTheyEqualTheListedStrings) {
    QTemporaryDir dir;
    const QStringList names = {"b10.jpg", "b2.JPG",    "été.png",      "A.gif",      "notes.txt",
                               "x y.bmp", "Zebra.tif", "ünïcode.jpeg", ".hidden.png"};
    for (const QString& n : names) {
        ASSERT_TRUE(gvtest::writeBytes(dir.path() + "/" + n, {}));
    }
    const QString pattern = "*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.tif";
    bool ok = false;
    const gv::FileNames lazy = gv::readImageFileNames(dir.path(), pattern, &ok);
    ASSERT_TRUE(ok);
    const QStringList listed = gv::listImageFiles(dir.path(), pattern);
    ASSERT_EQ(lazy.size(), listed.size());
    EXPECT_EQ(lazy.toList(), listed);
    for (qsizetype i = 0; i < lazy.size(); ++i) {
        EXPECT_EQ(lazy.at(i), listed.at(i));
    }
    EXPECT_TRUE(lazy.at(-1).isEmpty());
    EXPECT_TRUE(lazy.at(lazy.size()).isEmpty());
    EXPECT_EQ(gv::FileNames::fromList(listed).toList(), listed);
    EXPECT_TRUE(gv::readImageFileNames(dir.path() + "/missing", pattern, &ok).isEmpty());
    EXPECT_FALSE(ok);
}
