// The main window with JPEGs larger than the view at Actual Size, whose rest is decoded after
// their top-left part is shown: damaged files, files rewritten while they open, and saving
// such a photo again.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QColorSpace>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

#include <jpeglib.h>

#include "images/Picture.h"
#include "widgets/ImageBox.h"
#include "mainwindow/frmGlimvane.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/ImageFiles.h"
#include "support/WindowFixture.h"

using namespace gv;

namespace {

class LargeJpeg : public gvtest::WindowFixture {
protected:
    void openIn(const char* imageSize) {
        w.reset();
        SaveSetting(keys::kImageSize, QString::fromLatin1(imageSize));
        open();
    }
};

// What a JPEG says about itself, as libjpeg reads it from the file.
struct JpegMarkers {
    int densityUnit = -1;
    int xDensity = 0;
    int yDensity = 0;
    QByteArray icc;
    QList<QByteArray> comments;
    bool operator==(const JpegMarkers&) const = default;
};

JpegMarkers markersOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = f.readAll();
    if (!bytes.startsWith("\xFF\xD8")) {
        return {};
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    JpegMarkers m;
    m.densityUnit = info.density_unit;
    m.xDensity = info.X_density;
    m.yDensity = info.Y_density;
    JOCTET* icc = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&info, &icc, &length)) {
        m.icc = QByteArray(reinterpret_cast<const char*>(icc), length);
        free(icc);
    }
    for (jpeg_saved_marker_ptr s = info.marker_list; s; s = s->next) {
        if (s->marker == JPEG_COM) {
            m.comments << QByteArray(reinterpret_cast<const char*>(s->data), s->data_length);
        }
    }
    jpeg_destroy_decompress(&info);
    return m;
}

// Kills the process it holds when the test ends, however it ends.
struct ChildProcess {
    pid_t pid = -1;
    ~ChildProcess() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

}  // namespace

// A photo whose data breaks after the part the view shows first fails as it does when opened
// in Best Fit (the logo and the message), once its rest is decoded or as soon as a command
// needs the whole picture; nothing ever carries its first part on a filler.
TEST_F(LargeJpeg, ARestThatBreaksFailsAsTheOrdinaryLoadDoes) {
    const QByteArray photo = gvtest::jpegBytes(gvtest::noisyImage({2400, 1800}, 1));
    const qsizetype at = photo.size() * 6 / 10;
    QByteArray garbage(64 * 1024, 0);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
    ASSERT_TRUE(gvtest::writeBytes(file("garbage.jpg"), QByteArray(photo).insert(at, garbage)));
    ASSERT_TRUE(gvtest::writeBytes(file("marker.jpg"), QByteArray(photo).insert(at, "\xFF\xD8")));
    ASSERT_TRUE(gvtest::writePng(file("good.png"), gvtest::quadrantImage({40, 30})));
    const QStringList damaged = {"garbage.jpg", "marker.jpg"};

    openIn("Stretch");
    QMap<QString, gvtest::ShownMessage> ordinary;
    for (const QString& name : damaged) {
        click("good.png");
        m_dialogs->shown.clear();
        click(name);
        ASSERT_EQ(messageBoxes().size(), 1) << name.toStdString();
        ordinary[name] = messageBoxes().first();
    }

    openIn("Normal");
    const QImage mark = gvtest::quadrantImage({7, 5});
    for (const QString& name : damaged) {
        for (const char* action : {"shown", "copy", "save"}) {
            SCOPED_TRACE(name.toStdString() + " " + action);
            click("good.png");
            QApplication::clipboard()->setImage(mark);
            m_dialogs->shown.clear();
            click(name);
            ASSERT_FALSE(w->logoShown());  // the first part is shown
            w->Picture1->grab();
            const QString what = QString::fromLatin1(action);
            if (what == "shown") {
                EXPECT_TRUE(QTest::qWaitFor([&] { return !messageBoxes().isEmpty(); }, 20000));
            } else if (what == "copy") {
                w->mnuCopy_Click();
            } else {
                m_dialogs->fileAnswers.enqueue(FileChoice{file("saved"), "saved", 2});
                w->mnuSave_Click();
            }
            QTest::qWait(20);  // anything the worker still had to say
            const auto boxes = messageBoxes();
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_EQ(boxes[0].text, ordinary[name].text);
            EXPECT_EQ(boxes[0].title, ordinary[name].title);
            EXPECT_EQ(boxes[0].icon, ordinary[name].icon);
            EXPECT_TRUE(w->logoShown());
            EXPECT_EQ(w->windowTitle(), "Glimvane - Vividra");
            EXPECT_TRUE(appState().CurrentImagePath.isEmpty());
            EXPECT_EQ(QApplication::clipboard()->image().size(), mark.size());
            EXPECT_EQ(m_dialogs->shown.size(), 1);  // no save dialog either
            EXPECT_FALSE(QFile::exists(file("saved.bmp")));
            m_dialogs->fileAnswers.clear();
        }
    }
}

// Another program rewrites the photo again and again (cut to nothing, then written, as cp
// does) while the window opens it again and again: each opening shows the photo or fails with
// the message, and the window never comes down.
TEST_F(LargeJpeg, AFileRewrittenWhileItOpensNeverBringsTheWindowDown) {
    const QSize size(1600, 1200);
    const QByteArray photo = gvtest::jpegBytes(gvtest::noisyImage(size, 2));
    ASSERT_TRUE(gvtest::writeBytes(file("busy.jpg"), photo));
    ASSERT_TRUE(gvtest::writePng(file("calm.png"), gvtest::quadrantImage({40, 30})));
    openIn("Normal");
    const QByteArray target = QFile::encodeName(file("busy.jpg"));
    ChildProcess writer;
    writer.pid = ::fork();
    if (writer.pid == 0) {
        for (;;) {
            const int fd = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            for (qsizetype done = 0; fd >= 0 && done < photo.size(); done += 65536) {
                const size_t n = size_t(std::min<qsizetype>(65536, photo.size() - done));
                if (::write(fd, photo.constData() + done, n) < 0) {
                    break;
                }
            }
            ::close(fd);
            ::usleep(2000);  // whole for a moment, as between two saves
        }
    }
    ASSERT_GT(writer.pid, 0);
    const QString invalid = "The file " + file("busy.jpg") +
                            " is an invalid or unknown image format. The file extension "
                            "indicates it should be supported, it may have an incorrect extension";
    for (int i = 0; i < 25; ++i) {
        SCOPED_TRACE(i);
        click("calm.png");
        m_dialogs->shown.clear();
        click("busy.jpg");
        w->Picture1->grab();
        if (w->AwaitWholePicture() && !w->logoShown()) {
            EXPECT_EQ(w->Image1->picture().sizePixels(), size);
            EXPECT_TRUE(messageBoxes().isEmpty());
        } else {
            ASSERT_EQ(messageBoxes().size(), 1);
            EXPECT_EQ(messageBoxes()[0].text, invalid);
        }
    }
}

// Opened in any mode and saved as JPEG again, a photo keeps the resolution, colour profile and
// comment its file had.
TEST_F(LargeJpeg, SavedAgainAPhotoKeepsItsProfileCommentAndResolution) {
    const auto writeOriginal = [&](const QString& name, QSize size) {
        QImage image = gvtest::noisyImage(size, 3);
        image.setDotsPerMeterX(11811);  // 300 dpi
        image.setDotsPerMeterY(11811);
        image.setColorSpace(QColorSpace::AdobeRgb);
        QByteArray bytes = gvtest::jpegBytes(image);
        // A plain comment, as cameras and editors write one, after the JFIF header.
        const QByteArray comment = "Taken on the quay at dawn";
        bytes.insert(20, QByteArray("\xFF\xFE\x00", 3) + char(comment.size() + 2) + comment);
        return gvtest::writeBytes(file(name), bytes);
    };
    ASSERT_TRUE(writeOriginal("small.jpg", {300, 200}));
    ASSERT_TRUE(writeOriginal("large.jpg", {2400, 1800}));
    const JpegMarkers original = markersOf(file("large.jpg"));
    ASSERT_EQ(original.densityUnit, 1);
    ASSERT_EQ(original.xDensity, 300);
    ASSERT_FALSE(original.icc.isEmpty());
    ASSERT_EQ(original.comments, QList<QByteArray>{"Taken on the quay at dawn"});
    ASSERT_EQ(markersOf(file("small.jpg")), original);
    struct Case {
        const char* imageSize;
        const char* name;
    };
    for (const Case& c :
         {Case{"Normal", "small.jpg"}, Case{"Normal", "large.jpg"}, Case{"Stretch", "large.jpg"}}) {
        SCOPED_TRACE(std::string(c.imageSize) + " " + c.name);
        openIn(c.imageSize);
        click(c.name);
        m_dialogs->fileAnswers.enqueue(FileChoice{file("again"), "again", 1});
        m_dialogs->modalScripts.enqueue([](QDialog&) { return int(QDialog::Accepted); });
        w->mnuSave_Click();
        EXPECT_EQ(markersOf(file("again.jpg")), original);
        QFile::remove(file("again.jpg"));
    }
}
