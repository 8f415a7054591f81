#include <gtest/gtest.h>

#include "external/DataFile.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

struct ParseCase {
    const char* what;
    QByteArray bytes;
    QList<MenuEntry> entries;
    int error;
};

}  // namespace

TEST(DataFile, ReadsTheLinesOfAFile) {
    const QList<ParseCase> cases = {
        {"marker in any case, blank lines skipped",
         "a.exe<name>A\r\n   \r\nb.exe<NAME>B\r\n",
         {{"A", "a.exe"}, {"B", "b.exe"}},
         0},
        {"one-sided lines give no item", "x<name>   \r\n  <name>Y\r\nz<name>Z", {{"Z", "z"}}, 0},
        {"a line blank on both sides is an item as it stands",
         "  <name>  \r\n<name>\r\nz<name>Z",
         {{"  ", "  "}, {"", ""}, {"Z", "z"}},
         0},
        {"tabs are no blanks: a line of tabs has no marker",
         "a<name>A\r\n\t\t\r\nb<name>B",
         {{"A", "a"}},
         kBadLine},
        {"a tab is a side of its own", "\t<name>\t\r\n", {{"\t", "\t"}}, 0},
        {"target before the first marker, name after the last",
         "t<name>mid<Name>N\r\n",
         {{"N", "t"}},
         0},
        {"LF and CR line ends, no trimming",
         "a<name> A \nb<name>B\rc<name>C",
         {{" A ", "a"}, {"B", "b"}, {"C", "c"}},
         0},
        {"a line without the marker ends the reading",
         "a<name>A\r\nnonsense\r\nb<name>B\r\n",
         {{"A", "a"}},
         kBadLine},
        {"NUL bytes are damage",
         QByteArray("a<name>A\r\nb\0<name>B\r\nc<name>C", 29),
         {{"A", "a"}},
         kBadLine},
        {"a line of 100 KB is damage",
         "a<name>A\r\n" + QByteArray(100 << 10, 'x') + "<name>X\r\nc<name>C",
         {{"A", "a"}},
         kTooLarge},
        {"UTF-8 and Windows-1252 lines",
         "caf\xc3\xa9<name>Caf\xc3\xa9\r\nna\xefve<name>\x80 5\r\n",
         {{QStringLiteral(u"Café"), QStringLiteral(u"café")},
          {QStringLiteral(u"€ 5"), QStringLiteral(u"naïve")}},
         0},
    };
    for (const ParseCase& c : cases) {
        const DataFileContent content = parseDataFile(c.bytes);
        EXPECT_EQ(content.entries, c.entries) << c.what;
        EXPECT_EQ(content.error, c.error) << c.what;
    }
    EXPECT_EQ(parseDataFile(QByteArray(kMaxDataFileBytes + 1, 'a')).error, kTooLarge);
    QByteArray many;
    for (int i = 0; i <= kMaxMenuItems; ++i) {
        many += "t" + QByteArray::number(i) + "<name>n\r\n";
    }
    EXPECT_EQ(parseDataFile(many).entries.size(), kMaxMenuItems);
    EXPECT_EQ(parseDataFile(many).error, kTooLarge);
    // A line end inside a name cannot split its line.
    EXPECT_EQ(formatDataFile({{"a\r\nb", "t"}}), "t<name>a  b\r\n");
}
