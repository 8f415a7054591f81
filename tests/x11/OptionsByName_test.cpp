// The options dialog driven as an assistive tool drives it: through the accessibility bus
// (AT-SPI), finding each control by its role and caption.

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFile>
#include <QProcess>
#include <QTest>

#include "options/PrivateDesktop.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using gvtest::runTool;
using gvtest::visibleWindows;
using gvtest::waitFor;

namespace {

struct Ref {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& a, const Ref& r) {
    a.beginStructure();
    a << r.service << r.path;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, Ref& r) {
    a.beginStructure();
    a >> r.service >> r.path;
    a.endStructure();
    return a;
}

}  // namespace

Q_DECLARE_METATYPE(Ref)

namespace {

class Atspi {
public:
    explicit Atspi(const QString& address) : m_address(address) {
        qDBusRegisterMetaType<Ref>();
        qDBusRegisterMetaType<QList<Ref>>();
    }
    QVariant call(const Ref& r, const char* interface, const char* method,
                  const QVariantList& args = {}) const {
        QDBusMessage m =
            QDBusMessage::createMethodCall(r.service, r.path.path(), interface, method);
        m.setArguments(args);
        return bus().call(m, QDBus::Block, 2000).arguments().value(0);
    }
    QList<Ref> children(const Ref& r) const {
        QList<Ref> list;
        call(r, "org.a11y.atspi.Accessible", "GetChildren").value<QDBusArgument>() >> list;
        return list;
    }
    QString name(const Ref& r) const {
        return call(r, "org.freedesktop.DBus.Properties", "Get",
                    {QString("org.a11y.atspi.Accessible"), QString("Name")})
            .value<QDBusVariant>()
            .variant()
            .toString();
    }
    QString role(const Ref& r) const {
        return call(r, "org.a11y.atspi.Accessible", "GetRoleName").toString();
    }
    // The first object below r with that role and name, depth first.
    std::optional<Ref> find(const Ref& r, const QString& role, const QString& name) const {
        for (const Ref& child : children(r)) {
            if (this->role(child) == role && this->name(child) == name) {
                return child;
            }
            if (std::optional<Ref> found = find(child, role, name)) {
                return found;
            }
        }
        return std::nullopt;
    }
    bool act(const Ref& r) const {
        return call(r, "org.a11y.atspi.Action", "DoAction", {0}).toBool();
    }
    // The registry starts on first use: asked before the program starts, so that the program's
    // own registration does not wait for it (and the window with it).
    bool registryAnswers() const {
        const QDBusMessage m = QDBusMessage::createMethodCall(
            "org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
            "org.a11y.atspi.Accessible", "GetChildren");
        return bus().call(m, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
    }
    // The application whose process is pid.
    std::optional<Ref> application(qint64 pid) const {
        const Ref root{"org.a11y.atspi.Registry",
                       QDBusObjectPath("/org/a11y/atspi/accessible/root")};
        for (const Ref& app : children(root)) {
            if (bus().interface()->servicePid(app.service).value() == pid) {
                return app;
            }
        }
        return std::nullopt;
    }

private:
    // The bus may not listen yet when its address is known: connect until it does.
    QDBusConnection bus() const {
        QDBusConnection connection("options-a11y");
        if (!connection.isConnected()) {
            QDBusConnection::disconnectFromBus("options-a11y");
            connection = QDBusConnection::connectToBus(m_address, "options-a11y");
        }
        return connection;
    }
    QString m_address;
};

}  // namespace

TEST(OptionsByName, AnAssistiveToolTicksPngOnTheAdvancedTabAndPressesOk) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the X server of scripts/test";
    }
    // The buses run on the system's own folders (the accessibility bus reads its settings'
    // schemas there), the program on the private desktop's.
    gvtest::SessionProcesses processes;
    ASSERT_TRUE(processes.busReady());
    const QString busAddress = processes.busAddress();
    QDBusConnection session = QDBusConnection::connectToBus(busAddress, "options-session");
    // Asked again while the accessibility bus is still starting (another test's may be ending
    // on the same display).
    QString a11yAddress;
    ASSERT_TRUE(waitFor(
        [&] {
            a11yAddress = session
                              .call(QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus",
                                                                   "org.a11y.Bus", "GetAddress"),
                                    QDBus::Block, 10000)
                              .arguments()
                              .value(0)
                              .toString();
            return !a11yAddress.isEmpty();
        },
        20000));
    const Atspi atspi(a11yAddress);
    ASSERT_TRUE(waitFor([&] { return atspi.registryAnswers(); }, 20000));

    gvtest::PrivateDesktop desktop;
    gv::SaveSetting(gv::keys::kDeskIcon232, "1");
    // The keys go to the main window, not to a tip window in front of it.
    gv::SaveSetting(gv::keys::kShowTips, "0");
    gv::SaveSetting(gv::keys::kVersionMajor, QString::number(GLIMVANE_VERSION_MAJOR));
    gv::SaveSetting(gv::keys::kVersionMinor, QString::number(GLIMVANE_VERSION_MINOR));
    gv::SaveSetting(gv::keys::kVersionRev, QString::number(GLIMVANE_VERSION_REV));
    gvtest::PrivateDesktop::write(gvtest::PrivateDesktop::listPath(),
                                  "[Default Applications]\nimage/png=eog.desktop\n");

    QProcess* program =
        processes.start(gvtest::glimvaneBinary(), {}, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"});
    QString window;
    ASSERT_TRUE(waitFor(
        [&] { return !(window = visibleWindows("^Glimvane - ").value(0)).isEmpty(); }, 20000));
    // A key pressed before the window takes keys is lost: pressed again until the dialog shows.
    ASSERT_TRUE(waitFor(
        [&] {
            if (!visibleWindows("^Options$").isEmpty()) {
                return true;
            }
            runTool("xdotool", {"windowactivate", "--sync", window, "key", "F9"});
            QTest::qWait(700);
            return !visibleWindows("^Options$").isEmpty();
        },
        20000));
    std::optional<Ref> dialog;
    ASSERT_TRUE(waitFor(
        [&] {
            const std::optional<Ref> app = atspi.application(program->processId());
            dialog = app ? atspi.find(*app, "dialog", "Options") : std::nullopt;
            return dialog.has_value();
        },
        10000));

    const std::optional<Ref> tab = atspi.find(*dialog, "page tab", "Advanced");
    ASSERT_TRUE(tab);
    atspi.act(*tab);
    const std::optional<Ref> png = atspi.find(*dialog, "check box", "PNG");
    ASSERT_TRUE(png);
    atspi.act(*png);
    const std::optional<Ref> ok = atspi.find(*dialog, "push button", "OK");
    ASSERT_TRUE(ok);
    atspi.act(*ok);

    EXPECT_TRUE(
        waitFor([] { return gv::GetSetting(gv::keys::kAssociationKeys[12]) == "1"; }, 10000));
    EXPECT_TRUE(waitFor(
        [] { return gvtest::PrivateDesktop::xdgDefault("image/png") == "glimvane.desktop"; },
        10000));
    EXPECT_TRUE(visibleWindows("^Options$").isEmpty());

    runTool("xdotool", {"windowactivate", "--sync", window, "key", "alt+F4"});
    EXPECT_TRUE(program->waitForFinished(10000));
}
