// The hot-key object against a scripted desktop: its records, its errors and its event.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "capture/AtomTable.h"
#include "capture/clsHotkeys.h"
#include "support/FakeDesktop.h"
#include "support/TestEnvironment.h"

using namespace gv;

namespace {

class Hotkeys : public ::testing::Test {
protected:
    void SetUp() override {
        m_atomsBefore = programAtoms().count();
        hk = std::make_unique<clsHotkeys>();
        hk->Attach(77);
    }
    // Runs the call and gives the error it raised.
    template <typename F>
    static ObjectError raised(F call) {
        try {
            call();
        } catch (const ObjectError& e) {
            return e;
        }
        return {};
    }
    QStringList names() const {
        QStringList n;
        for (const auto& k : hk->keys()) {
            n << k.sName;
        }
        return n;
    }

    gvtest::ScopedFakeDesktop m_fake;
    int m_atomsBefore = 0;
    std::unique_ptr<clsHotkeys> hk;
};

}  // namespace

TEST_F(Hotkeys, NamesUpToThirtyTwoCharactersAndEachOnce) {
    const QString longest(32, 'k');
    hk->RegisterKey(longest, 112, 2);
    const ObjectError tooLong = raised([&] { hk->RegisterKey(QString(33, 'k'), 113, 2); });
    EXPECT_EQ(tooLong.number, static_cast<int>(0x8004041B));
    EXPECT_EQ(tooLong.description, "Key Name too long (max 32 characters).");
    EXPECT_EQ(tooLong.source, "glimvane.cRegHotKey");

    const ObjectError twice = raised([&] { hk->RegisterKey(longest, 114, 2); });
    EXPECT_EQ(twice.number, static_cast<int>(0x8004041C));
    EXPECT_EQ(twice.description, "The Key Name '" + longest + "' is already registered.");
    // The first registration stands, with the key it was given.
    ASSERT_EQ(hk->keys().size(), 1);
    EXPECT_EQ(hk->keys()[0].eKey, 112);
    EXPECT_EQ(m_fake.hotkeys().held.size(), 1);
    // Its atom names the key, the program and the moment.
    EXPECT_TRUE(hk->keys()[0].atomName.startsWith(longest + "_glimvane_"));
    EXPECT_EQ(programAtoms().nameOf(hk->keys()[0].id), hk->keys()[0].atomName);
}

TEST_F(Hotkeys, ACombinationHeldElsewhereFailsAndLeavesNoAtom) {
    m_fake.hotkeys().heldElsewhere.insert({2, 116});
    const ObjectError e = raised([&] { hk->RegisterKey("cap", 116, 2); });
    EXPECT_EQ(e.number, static_cast<int>(0x8004041B));
    EXPECT_EQ(e.description,
              "Failed to Register Hot Key [Another program holds this key combination (X error "
              "BadAccess).]");
    EXPECT_TRUE(hk->keys().isEmpty());
    EXPECT_EQ(programAtoms().count(), m_atomsBefore);
}

TEST_F(Hotkeys, UnregisteringKeepsTheOthersInOrderAndLetsGo) {
    hk->RegisterKey("one", 112, 2);
    hk->RegisterKey("two", 113, 2);
    hk->RegisterKey("three", 114, 2);
    const int middleId = hk->keys()[1].id;
    hk->UnregisterKey("two");
    EXPECT_EQ(names(), QStringList({"one", "three"}));
    EXPECT_EQ(programAtoms().nameOf(middleId), QString());
    EXPECT_EQ(m_fake.hotkeys().held.size(), 2);

    const ObjectError unknown = raised([&] { hk->UnregisterKey("two"); });
    EXPECT_EQ(unknown.number, static_cast<int>(0x80040419));
    EXPECT_EQ(unknown.description, "No hot key registered under the name 'two'");

    // Clearing (and re-attaching) lets go of every key and every atom.
    hk->Attach(78);
    EXPECT_TRUE(hk->keys().isEmpty());
    EXPECT_TRUE(m_fake.hotkeys().held.isEmpty());
    EXPECT_EQ(programAtoms().count(), m_atomsBefore);
    EXPECT_EQ(hk->attachedWindow(), 78u);
}

TEST_F(Hotkeys, PressesBecomeTheEventWithTheKeysName) {
    QSignalSpy spy(hk.get(), &clsHotkeys::HotKeyPress);
    hk->RegisterKey("cap", 116, 2);
    // Another window's keys are not this object's.
    clsHotkeys other;
    other.Attach(99);
    other.RegisterKey("other", 117, 2);
    ASSERT_TRUE(m_fake.hotkeys().press(2, 116));
    ASSERT_TRUE(m_fake.hotkeys().press(2, 117));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0], QVariantList({"cap", 2, 116}));

    // Messages the object meets: no record of the id, and the system's own snapshots.
    spy.clear();
    EXPECT_EQ(hk->ISubclass_WindowProc(77, clsHotkeys::kWmHotkey, 0x7777, (123 << 16) | 6), 0);
    hk->ISubclass_WindowProc(77, clsHotkeys::kWmHotkey, clsHotkeys::kIdHotSnapDesktop, 0);
    hk->ISubclass_WindowProc(77, clsHotkeys::kWmHotkey, clsHotkeys::kIdHotSnapWindow, 0);
    hk->ISubclass_WindowProc(77, 0x100, 0x7777, 0);
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy[0], QVariantList({"Unknown HotKey", 6, 123}));
    EXPECT_EQ(spy[1], QVariantList({"Desktop Snapshot", 0, 44}));
    EXPECT_EQ(spy[2], QVariantList({"Window Snapshot", 4, 44}));
    EXPECT_EQ(hk->ISubclass_MsgResponse(), 2);
}

TEST_F(Hotkeys, AHandlerMayLetGoOfTheKeyItWasCalledFor) {
    hk->RegisterKey("cap", 116, 2);
    QString heard;
    QObject::connect(hk.get(), &clsHotkeys::HotKeyPress, [&](const QString& name) {
        hk->UnregisterKey(name);
        heard = name;
    });
    ASSERT_TRUE(m_fake.hotkeys().press(2, 116));
    EXPECT_EQ(heard, "cap");
    EXPECT_TRUE(hk->keys().isEmpty());
    EXPECT_FALSE(m_fake.hotkeys().press(2, 116));
}
