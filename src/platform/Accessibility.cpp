#include "platform/Accessibility.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <algorithm>

namespace gv {
namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kConnectionName = "glimvane-a11y";
constexpr uint kRoleFrame = 23;
constexpr uint kRoleText = 61;
constexpr uint kRoleEntry = 79;
// A look at a browser's window takes this long at most, over this many objects, however slowly
// the bus or the browser answers: one slow answer (a browser building its accessible objects
// when first asked) may take what is left of it.
constexpr int kSearchBudgetMs = 1000;
constexpr int kMaxObjects = 5000;

struct ObjectRef {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& a, const ObjectRef& r) {
    a.beginStructure();
    a << r.service << r.path;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, ObjectRef& r) {
    a.beginStructure();
    a >> r.service >> r.path;
    a.endStructure();
    return a;
}

}  // namespace
}  // namespace gv

Q_DECLARE_METATYPE(gv::ObjectRef)

namespace gv {
namespace {

// The time left of one look; each of its calls waits no longer than that.
class Budget final {
public:
    Budget() { m_timer.start(); }
    bool left() const { return m_timer.elapsed() < kSearchBudgetMs; }
    int callTimeoutMs() const {
        return int(std::max<qint64>(kSearchBudgetMs - m_timer.elapsed(), 1));
    }

private:
    QElapsedTimer m_timer;
};

QDBusMessage call(const QDBusConnection& bus, const Budget& budget, const ObjectRef& object,
                  const char* interface, const char* method, const QVariantList& args = {}) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(object.service, object.path.path(),
                                       QString::fromLatin1(interface), QString::fromLatin1(method));
    m.setArguments(args);
    return bus.call(m, QDBus::Block, budget.callTimeoutMs());
}

// The process behind a bus name, asked of the bus within the look's time (the bus interface's
// own call would wait 25 s for a bus that does not answer).
qint64 processOf(const QDBusConnection& bus, const Budget& budget, const QString& service) {
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    m.setArguments({service});
    const QDBusMessage reply = bus.call(m, QDBus::Block, budget.callTimeoutMs());
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
               ? qint64(reply.arguments().first().toUInt())
               : -1;
}

QList<ObjectRef> children(const QDBusConnection& bus, const Budget& budget,
                          const ObjectRef& object) {
    const QDBusMessage reply = call(bus, budget, object, kAccessible, "GetChildren");
    QList<ObjectRef> list;
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        reply.arguments().first().value<QDBusArgument>() >> list;
    }
    return list;
}

uint role(const QDBusConnection& bus, const Budget& budget, const ObjectRef& object) {
    const QDBusMessage reply = call(bus, budget, object, kAccessible, "GetRole");
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
               ? reply.arguments().first().toUInt()
               : 0;
}

QString propertyText(const QDBusConnection& bus, const Budget& budget, const ObjectRef& object,
                     const char* name) {
    const QDBusMessage reply = call(bus, budget, object, "org.freedesktop.DBus.Properties", "Get",
                                    {QString::fromLatin1(kAccessible), QString::fromLatin1(name)});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
               ? reply.arguments().first().value<QDBusVariant>().variant().toString()
               : QString();
}

QString entryText(const QDBusConnection& bus, const Budget& budget, const ObjectRef& object) {
    const QDBusMessage reply = call(bus, budget, object, "org.a11y.atspi.Text", "GetText", {0, -1});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
               ? reply.arguments().first().toString()
               : QString();
}

QDBusConnection accessibilityBus(const Budget& budget) {
    QDBusConnection existing(QString::fromLatin1(kConnectionName));
    if (existing.isConnected()) {
        return existing;
    }
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(m, QDBus::Block, budget.callTimeoutMs());
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return QDBusConnection(QString());
    }
    return QDBusConnection::connectToBus(reply.arguments().first().toString(),
                                         QString::fromLatin1(kConnectionName));
}

// The field found last in each process: a browser keeps its address field while its pages
// change, so the next look asks that field first instead of searching the window again.
QHash<qint64, ObjectRef>& fieldsFound() {
    static QHash<qint64, ObjectRef> found;
    return found;
}

}  // namespace

QString accessibleEntryText(qint64 pid, const QString& windowTitle) {
    // Without a session bus of its own the desktop has no accessibility bus either; asking
    // for one would start a bus daemon.
    const bool sessionBus =
        !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
        QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
    if (pid <= 0 || !sessionBus || !QDBusConnection::sessionBus().isConnected()) {
        return QString();
    }
    qDBusRegisterMetaType<ObjectRef>();
    qDBusRegisterMetaType<QList<ObjectRef>>();
    Budget budget;
    const QDBusConnection bus = accessibilityBus(budget);
    if (!bus.isConnected()) {
        return QString();
    }
    if (const auto known = fieldsFound().constFind(pid); known != fieldsFound().constEnd()) {
        const QString text = entryText(bus, budget, *known);
        if (!text.trimmed().isEmpty()) {
            return text;
        }
        fieldsFound().remove(pid);
    }
    const ObjectRef root{QStringLiteral("org.a11y.atspi.Registry"),
                         QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
    for (const ObjectRef& app : children(bus, budget, root)) {
        if (!budget.left()) {
            break;
        }
        if (processOf(bus, budget, app.service) != pid) {
            continue;
        }
        for (const ObjectRef& frame : children(bus, budget, app)) {
            if (role(bus, budget, frame) != kRoleFrame ||
                propertyText(bus, budget, frame, "Name") != windowTitle) {
                continue;
            }
            // Depth first, in the program's own order, as the address field comes before
            // the page's fields.
            QList<ObjectRef> stack{frame};
            int visited = 0;
            while (!stack.isEmpty() && ++visited < kMaxObjects && budget.left()) {
                const ObjectRef object = stack.takeLast();
                const uint r = role(bus, budget, object);
                if (r == kRoleEntry || r == kRoleText) {
                    const QString text = entryText(bus, budget, object);
                    if (!text.trimmed().isEmpty()) {
                        fieldsFound().insert(pid, object);
                        return text;
                    }
                }
                const QList<ObjectRef> kids = children(bus, budget, object);
                for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
                    stack << *it;
                }
            }
        }
    }
    return QString();
}

}  // namespace gv
