// Names as bytes: the text form keeps every name apart and maps back to its own bytes, and the
// file functions reach the file of those bytes, never a look-alike.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <random>
#include <string>

#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Launcher.h"
#include "support/RawFolder.h"

using namespace gv;

namespace {

std::string bytesOf(const QString& text) {
    return fileNameToStdString(text);
}

std::string readAll(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return out;
    }
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        out.append(buffer, size_t(n));
    }
    ::close(fd);
    return out;
}

TEST(FileNameBytes, EveryByteStringComesBackAsItWas) {
    // Valid UTF-8, and the ways a sequence can fail to be: a lone byte, a cut sequence, an
    // overlong form, an encoded surrogate, a code point past U+10FFFF, a stray continuation.
    const std::string cases[] = {
        "plain.jpg",
        "caf\xc3\xa9.jpg",
        "\xf0\x9f\x93\xb7 camera.png",
        "b\xff.jpg",
        "b\xef\xbf\xbd.jpg",
        "cut\xe2\x82",
        "\xc0\xaf overlong",
        "\xed\xa0\x80\xed\xb0\x80 surrogates",
        "\xf4\x90\x80\x80 too far",
        "\x80\x80 continuation",
        "latin1 \xe9t\xe9.jpg",
        "\xf8\x88\x80\x80\x80",
    };
    for (const std::string& bytes : cases) {
        const QString text = fileNameFromBytes(bytes);
        EXPECT_EQ(bytesOf(text), bytes) << bytes;
        // Valid UTF-8 reads as Qt reads it; only other bytes are carried as escapes.
        const bool valid = QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toUtf8() ==
                           QByteArray(bytes.data(), qsizetype(bytes.size()));
        EXPECT_EQ(holdsRawBytes(text), !valid) << bytes;
        if (valid) {
            EXPECT_EQ(text, QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
        }
    }
    // Random names: no two byte strings share a text form, and each comes back.
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(size_t(1 + random() % 12), '\0');
        for (char& c : bytes) {
            c = char(1 + random() % 255);
        }
        ASSERT_EQ(bytesOf(fileNameFromBytes(bytes)), bytes);
    }
}

TEST(FileNameBytes, LookAlikesStayApartAndShowAsTheDesktopShowsThem) {
    const QString odd = fileNameFromBytes(std::string("b\xff.jpg"));
    const QString replacement = fileNameFromBytes(std::string("b\xef\xbf\xbd.jpg"));
    EXPECT_NE(odd, replacement);
    EXPECT_EQ(fileNameForDisplay(odd), replacement);
    EXPECT_EQ(fileNameForDisplay(replacement), replacement);
    // What Qt alone would do: both become the same text.
    EXPECT_EQ(QFile::decodeName("b\xff.jpg"), QFile::decodeName("b\xef\xbf\xbd.jpg"));
}

TEST(FileNameBytes, FileFunctionsReachTheFileOfThoseBytes) {
    const gvtest::RawFolder folder;
    const std::string odd = folder.at("b\xff.jpg");
    const std::string lookAlike = folder.at("b\xef\xbf\xbd.jpg");
    for (const auto& [path, content] :
         {std::pair{odd, std::string("odd")}, std::pair{lookAlike, std::string("look-alike!")}}) {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, content.data(), content.size()), ssize_t(content.size()));
        ::close(fd);
    }
    const QString oddPath = fileNameFromBytes(odd);
    ASSERT_TRUE(isRegularFile(oddPath));
    EXPECT_EQ(statPath(oddPath)->st_size, 3);
    QFile file;
    ASSERT_TRUE(openForReading(file, oddPath));
    EXPECT_EQ(file.readAll(), "odd");
    // Written in place: the look-alike keeps its bytes, the mode stays.
    ASSERT_EQ(::chmod(odd.c_str(), 0600), 0);
    ASSERT_EQ(writeFileAtomically(oddPath, "new content"), 0);
    EXPECT_EQ(readAll(odd), "new content");
    EXPECT_EQ(readAll(lookAlike), "look-alike!");
    EXPECT_EQ(statPath(oddPath)->st_mode & 07777, 0600u);
    // A file that cannot be written leaves the old one whole and no temporary behind.
    const QString inMissing = fileNameFromBytes(folder.at("gone\xff/x.jpg"));
    EXPECT_EQ(writeFileAtomically(inMissing, "x"), ENOENT);
    EXPECT_FALSE(pathExists(fileNameFromBytes(folder.at("gone\xff"))));
    EXPECT_FALSE(isFolder(oddPath));
    EXPECT_FALSE(pathExists(fileNameFromBytes(folder.at("c\xff.jpg"))));
}

TEST(FileNameBytes, APathADialogShowedIsFoundByTheBytesOfItsNames) {
    const gvtest::RawFolder folder;
    ASSERT_EQ(::mkdir(folder.at("d\xff").c_str(), 0755), 0);
    folder.file("d\xff/x\xfe.jpg");
    const QString shown = fileNameForDisplay(fileNameFromBytes(folder.at("d\xff/x\xfe.jpg")));
    EXPECT_EQ(resolveShownPath(shown), fileNameFromBytes(folder.at("d\xff/x\xfe.jpg")));
    // A new file's name is kept as typed; plain paths are left alone.
    const QString fresh = fileNameForDisplay(fileNameFromBytes(folder.at("d\xff/new\xfe.jpg")));
    EXPECT_EQ(resolveShownPath(fresh),
              fileNameFromBytes(folder.at("d\xff")) + QString::fromUtf8("/new\xef\xbf\xbd.jpg"));
    EXPECT_EQ(resolveShownPath(folder.path() + "/plain.jpg"), folder.path() + "/plain.jpg");
    // Two names that show the same: the dialog's answer cannot be told apart.
    folder.file("d\xff/x\xef\xbf\xbd.jpg");
    EXPECT_EQ(resolveShownPath(shown), std::nullopt);
}

TEST(FileNameBytes, ProgramsAreStartedWithTheArgumentsBytes) {
    const gvtest::RawFolder folder;
    const std::string image = folder.at("b\xff.jpg");
    const std::string out = folder.at("argument");
    // The started program writes what it was given; it runs detached, so the test waits.
    ASSERT_TRUE(
        launchDetached(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"),
                        QStringLiteral("printf %s \"$1\" > \"$2.tmp\" && mv \"$2.tmp\" \"$2\""),
                        QStringLiteral("sh"), fileNameFromBytes(image), fileNameFromBytes(out)}));
    for (int i = 0; i < 500 && ::access(out.c_str(), F_OK) != 0; ++i) {
        ::usleep(10000);
    }
    EXPECT_EQ(readAll(out), image);
    // A program that is not there is a failure to start, not a silent success.
    EXPECT_FALSE(launchDetached(fileNameFromBytes(folder.at("no-such-program"))));
    EXPECT_FALSE(launchDetached(QStringLiteral("glimvane-no-such-program-on-path")));
}

}  // namespace
