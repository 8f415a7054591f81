#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <functional>

#include "favourites/FavouriteStore.h"
#include "platform/FileNameBytes.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "settings/SettingsFileNotices.h"
#include "settings/clsIface.h"
#include "support/Bytes.h"
#include "support/FakeDialogs.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

void writeRawBytes(const QString& application, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(settingsFilePath(application)).absolutePath());
    QFile f(settingsFilePath(application));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void writeRawStore(const QString& application, const QString& text) {
    writeRawBytes(application, text.toUtf8());
}

}  // namespace

TEST(SettingsStore, NamesAreFoundWithoutRegardToCaseWhoeverWroteThem) {
    SaveSetting("Glimvane2", "options", "DragSen", "5");
    EXPECT_EQ(GetSetting("Glimvane2", "Options", "dragsen", "3"), "5");
    EXPECT_EQ(GetSetting("Glimvane2", "OPTIONS", "DRAGSEN"), "5");
    // A second write in other case replaces the value instead of adding a twin.
    SaveSetting("Glimvane2", "Options", "dragsen", "2");
    EXPECT_EQ(GetSetting("Glimvane2", "options", "DragSen"), "2");
    const QString raw = QString::fromUtf8(gvtest::readBytes(settingsFilePath("Glimvane2")));
    EXPECT_EQ(raw.count("dragsen", Qt::CaseInsensitive), 1) << raw.toStdString();
    // Edited by hand.
    writeRawStore("Glimvane2", "[OPTIONS]\nBtWidth=300\n[Interface]\nStartdir=/tmp/x y,z\n");
    EXPECT_EQ(GetSetting("Glimvane2", "Options", "btwidth", "150"), "300");
    EXPECT_EQ(GetSetting("Glimvane2", "interface", "startdir"), "/tmp/x y,z");
}

TEST(SettingsStore, MissingKeysAndSectionsGiveTheDefault) {
    EXPECT_EQ(GetSetting("Glimvane2", "Nowhere", "nothing", "dflt"), "dflt");
    EXPECT_EQ(GetSetting("Glimvane2", "Nowhere", "nothing"), "");
    SaveSetting("Glimvane2", "Options", "a", "1");
    EXPECT_EQ(GetSetting("Glimvane2", "Options", "b", "x"), "x");
    // Catalogue defaults.
    EXPECT_EQ(GetSetting(keys::kWidth), "8690");
    EXPECT_EQ(GetSetting(keys::kHeight), "6050");
    EXPECT_EQ(GetSetting(keys::kImageSize), "Stretch");
    EXPECT_EQ(GetSetting(keys::kShowTips), "1");
    EXPECT_EQ(GetSetting(keys::kShowMinim), "True");
}

TEST(SettingsStore, DeleteRemovesOneKeyOrAWholeSection) {
    SaveSetting("Glimvane2", "Favs", "favn1", "/a");
    SaveSetting("Glimvane2", "Favs", "fava1", "A");
    DeleteSetting("Glimvane2", "FAVS", "FAVN1");
    EXPECT_FALSE(SettingExists("Glimvane2", "Favs", "favn1"));
    EXPECT_TRUE(SettingExists("Glimvane2", "Favs", "fava1"));
    DeleteSetting("Glimvane2", "favs");
    EXPECT_FALSE(SettingExists("Glimvane2", "Favs", "fava1"));
    // Deleting what is not there is no error.
    DeleteSetting("Glimvane2", "favs", "none");
}

TEST(SettingsStore, ApplicationsAreSeparateFilesAndKeepOddText) {
    SaveSetting("GlimvaneUpdate", "Options", "lastgvupdate", "01/02/2026");
    SaveSetting("Glimvane2", "Options", "Show Tips at Startup", "0");
    SaveSetting("Glimvane2", "Interface", "Startdir", "/home/u/Pictures/été, [2024] = \"x\"");
    EXPECT_EQ(GetSetting("Glimvane2", "Options", "lastgvupdate", "none"), "none");
    EXPECT_EQ(GetSetting("GlimvaneUpdate", "options", "LastGvUpdate"), "01/02/2026");
    EXPECT_EQ(GetSetting(keys::kShowTips), "0");
    EXPECT_EQ(GetSetting(keys::kStartDir), "/home/u/Pictures/été, [2024] = \"x\"");
    EXPECT_TRUE(QFile::exists(gvtest::testFolders().config + "/Glimvane/GlimvaneUpdate.conf"));
}

TEST(SettingsStore, ReadsSeeWhatAnotherWriterStoredMeanwhile) {
    EXPECT_EQ(GetSetting(keys::kGvRec), "0");
    writeRawStore("Glimvane2", "[options]\ngvrec=1\ngvrechwnd=4242\n");
    EXPECT_EQ(GetSetting(keys::kGvRec), "1");
    EXPECT_EQ(GetSetting(keys::kGvRecHwnd), "4242");
}

TEST(SettingsStore, ADeletedFileMeansTheDefaultsAgain) {
    SaveSetting("Glimvane2", "Options", "DragSen", "5");
    ASSERT_EQ(GetSetting("Glimvane2", "Options", "DragSen", "3"), "5");
    // The user removes the settings while the program runs: nothing comes back from memory.
    ASSERT_TRUE(QFile::remove(settingsFilePath("Glimvane2")));
    EXPECT_EQ(GetSetting("Glimvane2", "Options", "DragSen", "3"), "3");
    EXPECT_FALSE(SettingExists("Glimvane2", "Options", "DragSen"));
    // The next write makes a file with that value alone.
    SaveSetting("Glimvane2", "Options", "BtWidth", "200");
    const QString raw = QString::fromUtf8(gvtest::readBytes(settingsFilePath("Glimvane2")));
    EXPECT_TRUE(raw.contains("btwidth=200", Qt::CaseInsensitive)) << raw.toStdString();
    EXPECT_FALSE(raw.contains("DragSen", Qt::CaseInsensitive)) << raw.toStdString();
}

TEST(SettingsStore, AWriterKilledAtAnyMomentLeavesEveryEarlierWriteWhole) {
    QStringList reported;  // the folders the writers said they had stored
    QRandomGenerator random(20261206);
    for (int round = 0; round < 20; ++round) {
        QProcess writer;
        writer.setEnvironment(gvtest::childEnvironment());
        writer.start(QStringLiteral(GLIMVANE_BINARY_DIR "/gvfavwriter"), {});
        ASSERT_TRUE(writer.waitForStarted());
        ASSERT_TRUE(writer.waitForReadyRead(10000));
        QThread::msleep(random.bounded(30));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished());
        const QString output = QString::fromUtf8(writer.readAllStandardOutput());
        reported << output.split('\n', Qt::SkipEmptyParts);

        QSettings file(settingsFilePath("Glimvane2"), QSettings::IniFormat);
        ASSERT_EQ(file.status(), QSettings::NoError);
        FavouriteStore store;
        store.LoadFavourites();
        QSet<QString> folders;
        for (const Favourite& f : store.favourites()) {
            folders << f.folder;
        }
        // No favourite half written, none twice, none behind a gap, none lost.
        ASSERT_EQ(GetAllSettings("Glimvane2", "Favs").size(), 2 * store.favourites().size());
        ASSERT_EQ(folders.size(), store.favourites().size());
        for (const QString& folder : reported) {
            ASSERT_TRUE(folders.contains(folder)) << folder.toStdString() << " round " << round;
        }
    }
    EXPECT_GT(reported.size(), 20);
}

TEST(SettingsStore, AnEmptyLockLeftByAKilledWriterDoesNotHoldUpTheNextWrite) {
    SaveSetting(keys::kDragSen, "1");
    // Qt itself would wait 30 seconds for such a lock to become stale.
    for (const QString lock : {".lock", ".lock.rmlock"}) {
        ASSERT_TRUE(QFile(settingsFilePath("Glimvane2") + lock).open(QIODevice::WriteOnly));
        QElapsedTimer waited;
        waited.start();
        SaveSetting(keys::kDragSen, lock);
        EXPECT_LT(waited.elapsed(), 10000);
        EXPECT_EQ(GetSetting(keys::kDragSen), lock);
    }
}

TEST(clsIface, AbsentDamagedOrTooSmallValuesGiveTheDefaults) {
    const auto state = [] {
        clsIface i;
        return std::tuple(i.BrowserTools(), i.BrowserToolsWidth(), i.BrowserToolsDockMode(),
                          i.FileseekToggle(), i.BrowserMode());
    };
    EXPECT_EQ(state(), std::tuple(0, 150, 1, 0, 1));  // the first start
    SaveSetting(keys::kBrowserDock, "left");
    EXPECT_EQ(state(), std::tuple(0, 150, 1, 0, 1));
    for (const auto& [stored, expected] : std::vector<std::pair<QString, int>>{{"90", 150},
                                                                               {"149", 150},
                                                                               {"150", 150},
                                                                               {"151", 151},
                                                                               {"-5", 150},
                                                                               {"600", 600},
                                                                               {"", 150}}) {
        SaveSetting(keys::kBtWidth, stored);
        EXPECT_EQ(clsIface().BrowserToolsWidth(), expected) << stored.toStdString();
    }
}

TEST(clsIface, WritesItsFiveKeysWhenReleasedAndRaisesChangeOnFourOfThem) {
    {
        clsIface iface;
        int changes = 0;
        QObject::connect(&iface, &clsIface::Change, [&changes] { ++changes; });
        iface.setBrowserTools(1);
        iface.setBrowserToolsDockMode(0);
        iface.setFileseekToggle(1);
        iface.setBrowserMode(0);
        EXPECT_EQ(changes, 4);
        iface.setBrowserToolsWidth(321);
        EXPECT_EQ(changes, 4);
        // Nothing is written until the object goes.
        EXPECT_FALSE(SettingExists("Glimvane2", "Options", "btwidth"));
    }
    EXPECT_EQ(GetSetting(keys::kBrowserTools), "1");
    EXPECT_EQ(GetSetting(keys::kBrowserDock), "0");
    EXPECT_EQ(GetSetting(keys::kFileseekToggle), "1");
    EXPECT_EQ(GetSetting(keys::kBrowserMode), "0");
    EXPECT_EQ(GetSetting(keys::kBtWidth), "321");
    clsIface again;
    EXPECT_EQ(again.BrowserToolsWidth(), 321);
    EXPECT_EQ(again.BrowserMode(), 0);
}

TEST(SettingsStore, LinesTheStoreCannotReadAreKeptInACopyBeforeTheFirstWrite) {
    const QString damaged =
        "[options]\nkeep=1\na line someone typed\n[half a section\nx=2\n\x01\x02 noise\n";
    writeRawStore("Glimvane2", damaged);
    SaveSetting("Glimvane2", "options", "new", "5");
    EXPECT_EQ(GetSetting("Glimvane2", "options", "keep"), "1");
    EXPECT_EQ(GetSetting("Glimvane2", "options", "new"), "5");
    EXPECT_EQ(gvtest::readBytes(settingsFilePath("Glimvane2") + ".damaged"), damaged.toUtf8());
    // The file written is whole again: later writes keep no more copies.
    SaveSetting("Glimvane2", "options", "new", "6");
    DeleteSetting("Glimvane2", "options", "keep");
    EXPECT_FALSE(QFileInfo::exists(settingsFilePath("Glimvane2") + ".damaged-2"));
    // A second damaged file does not replace the first copy.
    writeRawStore("Glimvane2", "[options]\nnew=6\nagain\n");
    DeleteSetting("Glimvane2", "options", "new");
    EXPECT_TRUE(QFileInfo::exists(settingsFilePath("Glimvane2") + ".damaged-2"));
}

TEST(SettingsStore, AFolderWhoseNameIsNotUtf8KeepsItsBytes) {
    const QString odd = fileNameFromBytes(std::string("/media/card/b\xff \xe9t\xe9"));
    const QString lookAlike = fileNameFromBytes(std::string("/media/card/b\xef\xbf\xbd"));
    SaveSetting(keys::kStartDir, odd);
    SaveSetting("Glimvane2", "Favs", "favf1", lookAlike);
    SaveSetting("Glimvane2", "Favs", "favn1", "file:///looks/like%20a/url");
    const QByteArray raw = gvtest::readBytes(settingsFilePath("Glimvane2"));
    EXPECT_TRUE(raw.contains("file:///media/card/b%FF%20%E9t%E9")) << raw.toStdString();
    // Read back by another process (the file is read again when it changed on disk).
    writeRawStore("Glimvane2", QString::fromUtf8(raw));
    EXPECT_EQ(GetSetting(keys::kStartDir), odd);
    EXPECT_EQ(GetSetting("Glimvane2", "Favs", "favf1"), lookAlike);
    EXPECT_EQ(GetAllSettings("Glimvane2", "Favs").value("favn1"), "file:///looks/like%20a/url");
}

TEST(SettingsStore, NulBytesAndTextThatIsNotUtf8AreKeptInACopyBeforeTheFirstWrite) {
    // Qt reads both without complaint, but would write them back changed.
    const QList<QByteArray> files = {QByteArray("[options]\nkeep=1\n\0x=2\n", 20),
                                     "[options]\nkeep=1\nname=caf\xe9\n"};
    for (int i = 0; i < files.size(); ++i) {
        writeRawBytes("Glimvane2", files[i]);
        SaveSetting("Glimvane2", "options", "new", "5");
        EXPECT_EQ(GetSetting("Glimvane2", "options", "keep"), "1");
        const QString copy = settingsFilePath("Glimvane2") + (i == 0 ? ".damaged" : ".damaged-2");
        EXPECT_EQ(gvtest::readBytes(copy), files[i]) << i;
    }
}

TEST(SettingsStore, AFileTheStoreCannotUseIsMovedAsideUnchangedAndReportedOnce) {
    gvtest::ScopedFakeDialogs dialogs;
    const QString file = settingsFilePath("Glimvane2");
    const QByteArray head = "[options]\ndragsen=5\n";
    struct Case {
        const char* what;
        std::function<void()> make;
        QString reason;
        std::function<bool(const QString&)> keptWhole;
    };
    const QList<Case> cases = {
        {"far too large",
         [&] {
             writeRawBytes("Glimvane2", head);
             QFile(file).resize(kMaxSettingsFileBytes + 1);
         },
         "it is larger than 4 MB, far too large to be a settings file",
         [&](const QString& kept) {
             return QFileInfo(kept).size() == kMaxSettingsFileBytes + 1 &&
                    gvtest::readBytes(kept).startsWith(head);
         }},
        {"a folder",
         [&] {
             QDir().mkpath(file);
             QFile(file + "/inside").open(QIODevice::WriteOnly);
         },
         "it is not a file",
         [](const QString& kept) { return QFileInfo::exists(kept + "/inside"); }},
        // Qt would wait for a writer on it for ever.
        {"a pipe", [&] { ::mkfifo(qPrintable(file), 0600); }, "it is not a file",
         [](const QString& kept) {
             struct stat st {};
             return ::lstat(qPrintable(kept), &st) == 0 && S_ISFIFO(st.st_mode);
         }},
    };
    for (int i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        QFile::remove(file);
        c.make();
        EXPECT_EQ(GetSetting("Glimvane2", "options", "dragsen", "3"), "3") << c.what;
        SaveSetting("Glimvane2", "options", "btwidth", "200");
        EXPECT_EQ(GetSetting("Glimvane2", "options", "btwidth"), "200") << c.what;
        // Earlier copies are never replaced.
        const QString kept = file + (i == 0 ? ".damaged" : QString(".damaged-%1").arg(i + 1));
        EXPECT_TRUE(c.keptWhole(kept)) << c.what;
        ReportSettingsFiles();
        ASSERT_EQ(dialogs->shown.size(), i + 1) << c.what;
        EXPECT_EQ(dialogs->shown.last().text,
                  QString("Glimvane could not use its settings file '%1': %2.\n\nIt has started "
                          "with its default settings. The file is kept, unchanged, as '%3'.")
                      .arg(file, c.reason, kept))
            << c.what;
        EXPECT_EQ(dialogs->shown.last().icon, MsgIcon::Exclamation);
    }
    ReportSettingsFiles();
    EXPECT_EQ(dialogs->shown.size(), cases.size());
}
