#include <gtest/gtest.h>

#include <unistd.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "platform/Paths.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/ImageFiles.h"
#include "tips/Tips.h"
#include "tips/TipsFile.h"
#include "tips/frmTips.h"

using namespace gv;

namespace {

void writeTips(const QByteArray& bytes) {
    ASSERT_TRUE(gvtest::writeBytes(Tips::tipsPath(), bytes));
}

const QString kNotFound = QStringLiteral(
    "The GVTIPS.GVR file was not found!? \n\nMake sure the GVTIPS.GVR is in your Glimvane "
    "directory. If you are having trouble, please contact support. ");

}  // namespace

TEST(TipsFile, LinesBecomeTips) {
    const QString longTip = QString(kMaxTipChars, u'x') + QChar(0x2026);
    const struct {
        QByteArray bytes;
        QStringList tips;
    } kCases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\r\ntwo\r\n", {"one", "two"}},
        {"one\ntwo\rthree\n\nfive", {"one", "two", "three", "", "five"}},
        {"\n", {""}},
        {"\xEF\xBB\xBF"
         "caf\xC3\xA9\n",
         {QStringLiteral("café")}},
        {"caf\xE9"
         " latin\n\xC3\xA9",
         {QStringLiteral("café latin"), QStringLiteral("é")}},
        {QByteArray("\xFF\xFE"
                    "a\0\n\0b\0",
                    8),
         {"a", "b"}},
        {QByteArray(kMaxTipChars * 3, 'x') + "\nnext", {longTip, "next"}},
    };
    for (const auto& c : kCases) {
        const TipsRead read = parseTips(c.bytes);
        EXPECT_EQ(read.status, TipsRead::Status::Ok);
        EXPECT_EQ(read.tips, c.tips) << c.bytes.left(40).toStdString();
    }
    EXPECT_EQ(parseTips(QByteArray("tip\0more\n", 9)).status, TipsRead::Status::NotText);
}

TEST(TipsFile, WhatCannotBeReadSaysWhy) {
    EXPECT_EQ(readTipsFile(Tips::tipsPath()).status, TipsRead::Status::Missing);
    EXPECT_EQ(readTipsFile(QString()).status, TipsRead::Status::Missing);
    QDir().mkpath(Tips::tipsPath());
    EXPECT_EQ(readTipsFile(Tips::tipsPath()).status, TipsRead::Status::Missing);
    QDir(Tips::tipsPath()).removeRecursively();

    // 50 MB: refused by the size of the opened file, never read.
    writeTips("");
    ASSERT_EQ(::truncate(QFile::encodeName(Tips::tipsPath()).constData(), 50 * 1024 * 1024), 0);
    const TipsRead big = readTipsFile(Tips::tipsPath());
    EXPECT_EQ(big.status, TipsRead::Status::TooLarge);
    EXPECT_EQ(tipsProblemText(big),
              "The GVTIPS.GVR file is too large to be a tips file (52428800 bytes; a tips file "
              "holds at most 1048576).");
    EXPECT_EQ(tipsProblemText(TipsRead()), kNotFound);
}

class TipsWindow : public ::testing::Test {
protected:
    void SetUp() override { resetAppState(); }
    QWidget m_owner;
};

TEST_F(TipsWindow, NextTipDrawsFromEveryLineAndLoadsAppend) {
    writeTips("first\nsecond\nthird\n");
    double r = 0.0;
    Tips tips(&m_owner, [&r] { return r; });
    tips.ShowStartupTip();
    ASSERT_NE(tips.window(), nullptr);
    EXPECT_EQ(tips.window()->lblTipText->text(), "first");
    for (const auto& [value, tip] : {std::pair{0.34, "second"}, {0.999, "third"}, {0.0, "first"}}) {
        r = value;
        tips.window()->cmdNextTip->click();
        EXPECT_EQ(tips.window()->lblTipText->text(), tip);
    }
    // A second load appends the file again: every line twice, still equally likely.
    EXPECT_TRUE(tips.LoadTips(Tips::tipsPath()));
    EXPECT_EQ(tips.tipList().size(), 6);
    r = 0.999;
    tips.DoNextTip();
    EXPECT_EQ(tips.currentTip(), 6);
    EXPECT_EQ(tips.window()->lblTipText->text(), "third");
}

TEST_F(TipsWindow, TheStartUpTipFollowsTheSetting) {
    writeTips("only tip");
    Tips tips(&m_owner);
    SaveSetting(keys::kShowTips, QStringLiteral("0"));
    tips.ShowStartupTip();
    EXPECT_EQ(tips.window(), nullptr);

    SaveSetting(keys::kShowTips, QStringLiteral("1"));
    tips.ShowStartupTip();
    ASSERT_NE(tips.window(), nullptr);
    EXPECT_TRUE(tips.window()->isVisible());
    EXPECT_EQ(tips.window()->windowTitle(), "Glimvane Tips");
    EXPECT_TRUE(appState().SecondaryWindowOpen);
    for (int i = 0; i < 5; ++i) {
        tips.window()->cmdNextTip->click();
        EXPECT_EQ(tips.window()->lblTipText->text(), "only tip");
    }
    // Unticking the box stores 0 at once, ticking it 1.
    QCheckBox* box = tips.window()->chkLoadTipsAtStartup;
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_EQ(GetSetting(keys::kShowTips), "0");
    box->click();
    EXPECT_EQ(GetSetting(keys::kShowTips), "1");
    tips.window()->cmdExit->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tips.window(), nullptr);
    EXPECT_FALSE(appState().SecondaryWindowOpen);
}

TEST_F(TipsWindow, AFileThatCannotBeUsedShowsWhyInsteadOfATip) {
    const struct {
        QByteArray bytes;  // nothing: no file at all
        bool exists;
        QString text;
    } kCases[] = {
        {QByteArray(), false, kNotFound},
        {QByteArray(), true, QStringLiteral("Tips are displayed here.")},
        {QByteArray("a\0b", 3), true,
         QStringLiteral("The GVTIPS.GVR file is damaged: it holds NUL bytes, which a text file "
                        "does not.")},
    };
    for (const auto& c : kCases) {
        QFile::remove(Tips::tipsPath());
        if (c.exists) {
            writeTips(c.bytes);
        }
        Tips tips(&m_owner);
        tips.ShowStartupTip();
        ASSERT_NE(tips.window(), nullptr);
        EXPECT_EQ(tips.window()->lblTipText->text(), c.text);
        EXPECT_TRUE(tips.tipList().isEmpty());
    }
}
