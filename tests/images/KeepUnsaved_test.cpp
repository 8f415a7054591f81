#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "images/KeepUnsaved.h"
#include "support/ImageFiles.h"

using namespace gv;

TEST(KeepUnsaved, NeverOverAnExistingFile) {
    QTemporaryDir dir;
    const QDateTime when(QDate(2026, 12, 7), QTime(23, 15, 2));
    const QString taken = dir.filePath(unsavedImageName(when, 1));
    ASSERT_TRUE(gvtest::writeBytes(taken, "the user's own file"));
    const QImage image = gvtest::quadrantImage({30, 20});

    const QString kept = keepUnsavedImage(image, dir.path() + "/new folder", when);
    EXPECT_EQ(QFileInfo(kept).fileName(), "Glimvane unsaved image 2026-12-07 23.15.02.png");
    const QString second = keepUnsavedImage(image, dir.path(), when);
    EXPECT_EQ(QFileInfo(second).fileName(), "Glimvane unsaved image 2026-12-07 23.15.02 (2).png");
    EXPECT_EQ(QImage(second).convertToFormat(QImage::Format_RGB32),
              image.convertToFormat(QImage::Format_RGB32));
    QFile own(taken);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(own.readAll(), "the user's own file");
}
