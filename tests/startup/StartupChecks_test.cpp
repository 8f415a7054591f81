#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>

#include "platform/Paths.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/modInstances.h"
#include "support/FakeDialogs.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"

using namespace gv;
using gvtest::ScopedFakeDialogs;

namespace {

void touch(const QString& path) {
    ASSERT_TRUE(gvtest::writeBytes(path, "x"));
}

const QDate kToday(2026, 12, 6);

}  // namespace

TEST(UpdateReminder, RemindsFromThirtyFiveDaysOnAndForgetsFutureDates) {
    struct Case {
        int daysAgo;
        bool reminds;
        bool keyKept;
    };
    for (const Case c : {Case{0, false, true}, Case{34, false, true}, Case{35, true, true},
                         Case{400, true, true}, Case{-1, false, false}, Case{-30, false, false}}) {
        SCOPED_TRACE(c.daysAgo);
        ScopedFakeDialogs fake;
        fake->messageAnswers.enqueue(MsgAnswer::No);
        const QDate last = kToday.addDays(-c.daysAgo);
        SaveSetting(keys::kLastGvUpdate, formatStoredDate(last));
        UpdateReminder(kToday);
        if (c.reminds) {
            EXPECT_TRUE(fake->showedOne(
                {"Glimvane Update last checked for a new version of Glimvane on the " +
                     formatStoredDate(last) +
                     ", it is recommended that you check once a month.\r\n\r\n"
                     "Would you like to run Glimvane Update now?",
                 "Glimvane", MsgIcon::Information, MsgButtons::YesNo}));
            // Whatever the answer, the reminder starts counting again from today.
            EXPECT_EQ(parseStoredDate(GetSetting(keys::kLastGvUpdate)), kToday);
        } else {
            EXPECT_TRUE(fake->shown.isEmpty());
        }
        EXPECT_EQ(SettingExists("GlimvaneUpdate", "Options", "lastgvupdate"), c.keyKept);
    }
}

TEST(UpdateReminder, MissingOrDamagedRecordNeverReminds) {
    ScopedFakeDialogs fake;
    UpdateReminder(kToday);
    SaveSetting(keys::kLastGvUpdate, "not a date");
    UpdateReminder(kToday);
    EXPECT_TRUE(fake->shown.isEmpty());
}

TEST(UpdateReminder, YesStartsTheUpdateProgramOrSaysItIsMissing) {
    ScopedFakeDialogs fake;
    fake->messageAnswers.enqueue(MsgAnswer::Yes);
    SaveSetting(keys::kLastGvUpdate, formatStoredDate(kToday.addDays(-60)));
    UpdateReminder(kToday);
    ASSERT_EQ(fake->shown.size(), 2);
    EXPECT_EQ(fake->shown[1].text,
              "The Glimvane Update executable file 'gvupdate.exe' could not be found!\r\n\r\n"
              "Please reinstall Glimvane!");
    EXPECT_EQ(fake->shown[1].title, "Glimvane Update cannot launch!");
    EXPECT_EQ(fake->shown[1].icon, MsgIcon::Critical);
}

TEST(StoredDates, RoundTripAndReadOtherSpellings) {
    for (const QDate d : {QDate(2026, 1, 2), QDate(1999, 12, 31), QDate(2030, 7, 15)}) {
        EXPECT_EQ(parseStoredDate(formatStoredDate(d)), d);
    }
    EXPECT_EQ(parseStoredDate("2026-03-04"), QDate(2026, 3, 4));
    EXPECT_FALSE(parseStoredDate("").isValid());
    EXPECT_FALSE(parseStoredDate("31/31/31/31").isValid());
}

TEST(ComponentsCheck, RunsOncePerVersionAndNamesEachMissingPiece) {
    ScopedFakeDialogs fake;
    const QString folder = gvtest::testFolders().program;
    const QList<RequiredComponent> components = {
        {"libqjpeg.so", {folder + "/imageformats/libqjpeg.so"}},
        {"libqgif.so", {folder + "/a/libqgif.so", folder + "/b/libqgif.so"}},
        {"gvrecover", {folder + "/gvrecover"}}};
    QDir().mkpath(folder + "/b");
    touch(folder + "/b/libqgif.so");
    CheckComponents(components);

    ASSERT_EQ(fake->shown.size(), 3);
    EXPECT_EQ(fake->shown[0].title, "Information");
    EXPECT_EQ(fake->shown[0].icon, MsgIcon::Information);
    EXPECT_TRUE(fake->shown[0].text.startsWith("Glimvane Update's job is to work in conjunction"));
    EXPECT_TRUE(fake->shown[0].text.endsWith("you'll find answers fast!"));
    EXPECT_EQ(fake->shown[1].text,
              "Cannot find a required component or support file. Filename: libqjpeg.so. You "
              "will need to reinstall Glimvane.\r\nThis normally happens when a file in the "
              "installation package has failed to install, please contact "
              "support@glimvane.org if problems persist.");
    EXPECT_EQ(fake->shown[1].title, "Glimvane");
    EXPECT_EQ(fake->shown[1].icon, MsgIcon::Critical);
    EXPECT_EQ(fake->shown[1].buttons, MsgButtons::Ok);
    EXPECT_TRUE(fake->shown[2].text.contains("Filename: gvrecover."));
    EXPECT_EQ(GetSetting(keys::kVersionPathKey), programFolder());

    // The same version again: nothing is checked or shown.
    fake->shown.clear();
    CheckComponents(components);
    EXPECT_TRUE(fake->shown.isEmpty());

    // An upgrade (another stored version) checks once more.
    SaveSetting(keys::kVersionRev, "999");
    CheckComponents(components);
    EXPECT_EQ(fake->shown.size(), 3);
    EXPECT_EQ(GetSetting(keys::kVersionRev), QString::number(GLIMVANE_VERSION_REV));
}

TEST(ComponentsCheck, ACompleteBuildMissesNothing) {
    // The build folder holds the program and its siblings; Qt's plugins are installed.
    qputenv("GLIMVANE_PROGRAM_DIR", GLIMVANE_BINARY_DIR);
    EXPECT_EQ(missingComponents(requiredComponents()), QStringList());
    qputenv("GLIMVANE_PROGRAM_DIR", gvtest::testFolders().program.toUtf8());
    EXPECT_EQ(missingComponents(requiredComponents()), QStringList{"gvrecover"});
}

TEST(RootFolder, TheProgramRefusesToRunFromAVolumeRoot) {
    ScopedFakeDialogs fake;
    EXPECT_TRUE(RefuseRootFolder("/"));
    ASSERT_TRUE(fake->showedOne(
        {.text = "Glimvane cannot be run from a root directory! Please install to a deeper "
                 "directory.",
         .title = "Glimvane",
         .icon = MsgIcon::Critical}));
    EXPECT_FALSE(RefuseRootFolder(gvtest::testFolders().program));
    EXPECT_EQ(fake->shown.size(), 1);
}

TEST(Paths, JoiningNeverDoublesTheSeparator) {
    EXPECT_EQ(joinPath("/", "a.bmp"), "/a.bmp");
    EXPECT_EQ(joinPath("/home/u", "a.bmp"), "/home/u/a.bmp");
    EXPECT_EQ(joinPath("/home/u/", "a b.bmp"), "/home/u/a b.bmp");
    EXPECT_EQ(volumeRoot("/"), "/");
    EXPECT_TRUE(volumeRoots().contains(volumeRoot(gvtest::testFolders().program)));
    EXPECT_TRUE(isVolumeAvailable(volumeRoot(gvtest::testFolders().program)));
    EXPECT_FALSE(isVolumeAvailable("/no/such/volume/here"));
    // An empty mount point (its volume unmounted) is only a folder, not a volume.
    EXPECT_FALSE(isVolumeAvailable(gvtest::testFolders().program));
}
