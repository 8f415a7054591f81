#include "widgets/FolderTreeModel.h"

#include <QAbstractFileIconProvider>
#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QHash>
#include <QScrollBar>
#include <QSet>
#include <QSize>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <deque>
#include <iterator>
#include <mutex>
#include <shared_mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "listing/FileListing.h"
#include "platform/DirectoryReader.h"
#include "platform/FileAccess.h"
#include "platform/FileNameBytes.h"
#include "platform/Paths.h"

namespace gv {

namespace {

// Folders read at the same time: a hung network folder holds up one reader, not the tree.
constexpr int kReaderThreads = 3;
// Changes on disk come in bursts (a copy makes many entries); the folders changed are read
// again together once a burst has settled a little.
constexpr int kChangeSettleMs = 250;

// Reader threads may still be at work when the program ends (a folder that does not answer
// keeps one for as long as it likes). What they do with Qt afterwards (sorting the names,
// which uses the locale's collation, and posting the result) must not overlap the program's
// shutdown: the gate closes when the application object goes, after which a reader drops
// what it read. Both live for the whole process, on purpose.
std::shared_mutex& shutdownGate() {
    static auto* gate = new std::shared_mutex;
    return *gate;
}

bool& shuttingDown() {
    static bool closed = false;  // guarded by the gate
    return closed;
}

void closeGateAtShutdown() {
    static std::once_flag once;
    std::call_once(once, [] {
        qAddPostRoutine([] {
            const std::unique_lock lock(shutdownGate());
            shuttingDown() = true;
        });
    });
}

bool isHiddenName(const QString& name) {
    return name.startsWith(QLatin1Char('.'));
}

// The names on an absolute path, "." and ".." taken away by the text alone (as a cleaned path
// reads); nothing for a relative path.
std::optional<QStringList> namesOnPath(const QString& path) {
    if (!path.startsWith(QLatin1Char('/'))) {
        return std::nullopt;
    }
    QStringList names;
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String("..")) {
            if (!names.isEmpty()) {
                names.removeLast();
            }
        } else if (name != QLatin1String(".")) {
            names.append(name);
        }
    }
    return names;
}

}  // namespace

struct FolderTreeModel::Node {
    enum class State { Unread, Reading, Read };
    QString name;  // lossless text form; "/" at the top
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;  // in display order
    State state = State::Unread;
    bool readAgain = false;  // asked for while a reading was under way
    quint64 ticket = 0;      // of the latest reading asked for
    mutable QIcon icon;
    mutable bool iconKnown = false;

    Node* child(const QString& childName) const {
        const auto found = std::find_if(children.begin(), children.end(),
                                        [&](const auto& c) { return c->name == childName; });
        return found != children.end() ? found->get() : nullptr;
    }
};

// What the model shares with its reader threads. A thread outlives the model when it reads a
// folder that does not answer: closing a window never waits for a network.
struct FolderTreeModel::Readers {
    struct Request {
        QString folder;
        quint64 ticket = 0;
    };
    std::mutex mutex;
    std::deque<Request> waiting;
    int threads = 0;
    FolderTreeModel* model = nullptr;  // null once the model has gone
    std::atomic<bool> closed = false;
};

FolderTreeModel::FolderTreeModel(QObject* parent)
    : QAbstractItemModel(parent),
      m_top(std::make_unique<Node>()),
      m_readers(std::make_shared<Readers>()) {
    m_top->name = QStringLiteral("/");
    m_readers->model = this;
    closeGateAtShutdown();
}

FolderTreeModel::~FolderTreeModel() {
    {
        const std::lock_guard lock(m_readers->mutex);
        m_readers->model = nullptr;
        m_readers->waiting.clear();
    }
    m_readers->closed = true;
}

void FolderTreeModel::readFolders(const std::shared_ptr<Readers>& readers) {
    while (true) {
        Readers::Request request;
        {
            const std::lock_guard lock(readers->mutex);
            if (readers->waiting.empty()) {
                --readers->threads;
                return;
            }
            request = std::move(readers->waiting.front());
            readers->waiting.pop_front();
        }
        Subfolders found = readSubfolders(request.folder, &readers->closed);
        const std::shared_lock gate(shutdownGate());
        if (readers->closed || shuttingDown()) {
            continue;
        }
        // Sorted here: ICU's comparisons of many thousand names are work the window is spared.
        sortForDisplay(found.names);
        const std::lock_guard lock(readers->mutex);
        if (FolderTreeModel* model = readers->model) {
            QMetaObject::invokeMethod(
                model,
                [model, request, found] {
                    model->takeReading(request.folder, request.ticket, found);
                },
                Qt::QueuedConnection);
        }
    }
}

QModelIndex FolderTreeModel::index(const QString& path) {
    const std::optional<QStringList> names = namesOnPath(path);
    if (!names) {
        return {};
    }
    Node* node = m_top.get();
    QString way = node->name;
    for (const QString& name : *names) {
        way = joinPath(way, name);
        if (Node* known = node->child(name)) {
            node = known;
        } else if (isFolder(way)) {
            node = addChild(node, name);
        } else {
            return {};
        }
    }
    return indexOf(node);
}

QString FolderTreeModel::filePath(const QModelIndex& index) const {
    const Node* node = nodeOf(index);
    return node != nullptr ? pathOf(node) : QString();
}

void FolderTreeModel::refresh(const QString& path) {
    Node* from = path.isEmpty() ? m_top.get() : findNode(path);
    std::vector<Node*> todo;
    if (from != nullptr) {
        todo.push_back(from);
    }
    while (!todo.empty()) {
        Node* node = todo.back();
        todo.pop_back();
        readAgain(node);
        for (const auto& child : node->children) {
            todo.push_back(child.get());
        }
    }
}

void FolderTreeModel::folderOpened(const QModelIndex& index) {
    Node* node = nodeOf(index);
    if (node != nullptr && node->state != Node::State::Reading) {
        startReading(node);
    }
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) {
        return {};
    }
    if (!parent.isValid()) {
        return row == 0 ? indexOf(m_top.get()) : QModelIndex();
    }
    const Node* node = nodeOf(parent);
    if (node == nullptr || parent.column() != 0 || row >= int(node->children.size())) {
        return {};
    }
    return createIndex(row, 0, node->children[std::size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    const Node* node = nodeOf(child);
    return node != nullptr ? indexOf(node->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return 1;
    }
    const Node* node = nodeOf(parent);
    return parent.column() == 0 && node != nullptr ? int(node->children.size()) : 0;
}

int FolderTreeModel::columnCount(const QModelIndex& /*parent*/) const {
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return true;
    }
    const Node* node = nodeOf(parent);
    if (node == nullptr || parent.column() != 0) {
        return false;
    }
    // A folder not read yet shows its expander; once read, only when it has subfolders.
    return node->state != Node::State::Read || !node->children.empty();
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    return node != nullptr && node->state == Node::State::Unread;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent)) {
        startReading(nodeOf(parent));
    }
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    const Node* node = nodeOf(index);
    if (node == nullptr) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return fileNameForDisplay(node->name);
        case Qt::DecorationRole:
            return iconOf(node);
        default:
            return {};
    }
}

QVariant FolderTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::SizeHintRole) {
        return QSize(0, 0);  // a header's own measure (in bold) would widen the names column
    }
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0) {
        return QStringLiteral("Name");
    }
    return {};
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    return nodeOf(index) != nullptr ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? static_cast<Node*>(index.internalPointer())
                                                    : nullptr;
}

QModelIndex FolderTreeModel::indexOf(const Node* node) const {
    return node != nullptr ? createIndex(node->row, 0, const_cast<Node*>(node)) : QModelIndex();
}

QString FolderTreeModel::pathOf(const Node* node) const {
    if (node == m_top.get()) {
        return node->name;
    }
    QStringList names;
    for (; node != m_top.get(); node = node->parent) {
        names.prepend(node->name);
    }
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

FolderTreeModel::Node* FolderTreeModel::findNode(const QString& path) const {
    const std::optional<QStringList> names = namesOnPath(path);
    if (!names) {
        return nullptr;
    }
    Node* node = m_top.get();
    for (const QString& name : *names) {
        node = node->child(name);
        if (node == nullptr) {
            return nullptr;
        }
    }
    return node;
}

FolderTreeModel::Node* FolderTreeModel::addChild(Node* parent, const QString& name) {
    auto& children = parent->children;
    const auto at = std::partition_point(children.begin(), children.end(), [&name](const auto& c) {
        return compareForDisplay(c->name, name) < 0;
    });
    const int row = int(at - children.begin());
    beginInsertRows(indexOf(parent), row, row);
    auto child = std::make_unique<Node>();
    child->name = name;
    child->parent = parent;
    Node* added = child.get();
    children.insert(at, std::move(child));
    renumber(parent, row);
    endInsertRows();
    return added;
}

void FolderTreeModel::startReading(Node* node) {
    node->state = Node::State::Reading;
    node->readAgain = false;
    node->ticket = ++m_lastTicket;
    bool newThread = false;
    {
        const std::lock_guard lock(m_readers->mutex);
        m_readers->waiting.push_back({pathOf(node), node->ticket});
        newThread = m_readers->threads < kReaderThreads;
        if (newThread) {
            ++m_readers->threads;
        }
    }
    if (newThread) {
        try {
            std::thread(readFolders, m_readers).detach();
        } catch (const std::system_error&) {
            readFolders(m_readers);  // no thread to be had: read here, late rather than never
        }
    }
}

void FolderTreeModel::readAgain(Node* node) {
    if (node->state == Node::State::Read) {
        startReading(node);
    } else if (node->state == Node::State::Reading) {
        node->readAgain = true;
    }
}

void FolderTreeModel::takeReading(const QString& path, quint64 ticket, const Subfolders& found) {
    Node* node = findNode(path);
    // A folder removed from the tree meanwhile (and perhaps made again since) waits for a
    // reading of its own.
    if (node == nullptr || node->ticket != ticket || node->state != Node::State::Reading) {
        return;
    }
    node->state = Node::State::Read;
    // A folder that cannot be read keeps the way to a folder below it the user went to.
    if (found.ok) {
        showSubfolders(node, found.names);
        watch(path);
    }
    if (node->readAgain) {
        startReading(node);
    }
    Q_EMIT directoryLoaded(path);
}

void FolderTreeModel::showSubfolders(Node* node, const QStringList& sorted) {
    const QSet<QString> onDisk(sorted.cbegin(), sorted.cend());
    auto& children = node->children;
    const auto gone = [&](int row) { return !onDisk.contains(children[std::size_t(row)]->name); };
    for (int last = int(children.size()) - 1; last >= 0;) {
        if (!gone(last)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && gone(first - 1)) {
            --first;
        }
        dropRows(node, first, last);
        last = first - 1;
    }
    // Hidden folders are left out, but for those already shown: the way to a folder the user
    // went to.
    QSet<QString> shown;
    for (const auto& child : children) {
        shown.insert(child->name);
    }
    QStringList wanted;
    wanted.reserve(sorted.size());
    for (const QString& name : sorted) {
        if (!isHiddenName(name) || shown.contains(name)) {
            wanted.append(name);
        }
    }
    // The rows kept are in the listing's order unless the locale's rules changed meanwhile.
    qsizetype at = 0;
    for (const auto& child : children) {
        while (at < wanted.size() && wanted[at] != child->name) {
            ++at;
        }
        if (at == wanted.size()) {
            reorderChildren(node, wanted);
            break;
        }
        ++at;
    }
    // The new rows go in between the kept ones, a run at a time.
    const auto isNext = [&](int row, qsizetype i) {
        return row < int(children.size()) && children[std::size_t(row)]->name == wanted[i];
    };
    int row = 0;
    for (qsizetype i = 0; i < wanted.size();) {
        if (isNext(row, i)) {
            ++row;
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < wanted.size() && !isNext(row, i)) {
            ++i;
        }
        const int count = int(i - start);
        beginInsertRows(indexOf(node), row, row + count - 1);
        std::vector<std::unique_ptr<Node>> added;
        added.reserve(std::size_t(count));
        for (qsizetype k = start; k < i; ++k) {
            auto child = std::make_unique<Node>();
            child->name = wanted[k];
            child->parent = node;
            added.push_back(std::move(child));
        }
        children.insert(children.begin() + row, std::make_move_iterator(added.begin()),
                        std::make_move_iterator(added.end()));
        renumber(node, row);
        endInsertRows();
        row += count;
    }
}

void FolderTreeModel::reorderChildren(Node* node, const QStringList& order) {
    const QList<QPersistentModelIndex> parents = {QPersistentModelIndex(indexOf(node))};
    Q_EMIT layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
    QHash<QString, qsizetype> place;
    for (qsizetype i = 0; i < order.size(); ++i) {
        place.insert(order[i], i);
    }
    std::stable_sort(node->children.begin(), node->children.end(),
                     [&place](const auto& a, const auto& b) {
                         return place.value(a->name) < place.value(b->name);
                     });
    renumber(node, 0);
    QModelIndexList from;
    QModelIndexList to;
    for (const QModelIndex& kept : persistentIndexList()) {
        const Node* child = nodeOf(kept);
        if (child != nullptr && child->parent == node) {
            from.append(kept);
            to.append(indexOf(child));
        }
    }
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}

void FolderTreeModel::dropRows(Node* node, int first, int last) {
    beginRemoveRows(indexOf(node), first, last);
    auto& children = node->children;
    for (int row = first; row <= last; ++row) {
        forget(children[std::size_t(row)].get());
    }
    children.erase(children.begin() + first, children.begin() + last + 1);
    renumber(node, first);
    endRemoveRows();
}

void FolderTreeModel::renumber(Node* node, int from) {
    for (std::size_t row = std::size_t(from); row < node->children.size(); ++row) {
        node->children[row]->row = int(row);
    }
}

void FolderTreeModel::watch(const QString& path) {
    // Qt's watcher would take a name that is not UTF-8 for its look-alike; such folders are
    // brought up to date by reading them again (Refresh, or opening them again).
    if (holdsRawBytes(path)) {
        return;
    }
    if (m_watcher == nullptr) {
        m_watcher = new QFileSystemWatcher(this);
        m_changeTimer = new QTimer(this);
        m_changeTimer->setSingleShot(true);
        m_changeTimer->setInterval(kChangeSettleMs);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString& p) {
            if (!m_changed.contains(p)) {
                m_changed.append(p);
            }
            if (!m_changeTimer->isActive()) {
                m_changeTimer->start();
            }
        });
        connect(m_changeTimer, &QTimer::timeout, this, [this] {
            const QStringList changed = std::exchange(m_changed, {});
            for (const QString& p : changed) {
                if (Node* node = findNode(p)) {
                    readAgain(node);
                }
            }
        });
    }
    if (!m_watcher->directories().contains(path)) {
        m_watcher->addPath(path);
    }
}

void FolderTreeModel::forget(const Node* node) {
    if (m_watcher == nullptr) {
        return;
    }
    QStringList watched;
    std::vector<const Node*> todo = {node};
    while (!todo.empty()) {
        const Node* n = todo.back();
        todo.pop_back();
        if (n->state != Node::State::Unread) {
            watched.append(pathOf(n));
        }
        for (const auto& child : n->children) {
            todo.push_back(child.get());
        }
    }
    const QStringList known = m_watcher->directories();
    watched.removeIf([&known](const QString& p) { return !known.contains(p); });
    if (!watched.isEmpty()) {
        m_watcher->removePaths(watched);
    }
}

QIcon FolderTreeModel::iconOf(const Node* node) const {
    if (node->iconKnown) {
        return node->icon;
    }
    // The desktop theme's icons by default, as Qt's own model shows them: the root as a drive,
    // every other entry as a folder.
    static const QAbstractFileIconProvider desktopIcons;
    const QAbstractFileIconProvider* icons = m_icons != nullptr ? m_icons : &desktopIcons;
    node->icon = icons->icon(node == m_top.get() ? QAbstractFileIconProvider::Drive
                                                 : QAbstractFileIconProvider::Folder);
    node->iconKnown = true;
    return node->icon;
}

void setFolderTreeModel(QTreeView* tree, FolderTreeModel* model) {
    tree->setModel(model);
    QObject::connect(tree, &QTreeView::expanded, model, &FolderTreeModel::folderOpened);
}

void revealFolderInTree(QTreeView* tree, FolderTreeModel* model, const QString& folder) {
    const QModelIndex index = model->index(folder);
    if (index.isValid()) {
        tree->setCurrentIndex(index);
        tree->scrollTo(index);
        // Deep folders are indented past a narrow tree's edge: scroll sideways until the whole
        // name is in sight, or as far as its start (with the branch arrow) allows.
        const QRect row = tree->visualRect(index);
        const int width = tree->viewport()->width();
        const int start = row.left() - tree->indentation();
        const int nameEnd = row.left() + tree->sizeHintForIndex(index).width() + 2;
        int shift = 0;
        if (start < 0) {
            shift = start;
        } else if (nameEnd > width) {
            shift = std::min(nameEnd - width, start);
        }
        if (shift != 0) {
            QScrollBar* bar = tree->horizontalScrollBar();
            bar->setValue(bar->value() + shift);
        }
        // A sideways scroll moves the rows' pixels, and the rows that lost or gained the
        // highlight are repainted at their old place only: the row left behind would keep
        // part of its highlight. The whole (small) tree is painted afresh.
        tree->viewport()->update();
        return;
    }
    // A folder that is not there (any more): the tree opens the deepest folder on its way.
    QString path = folder;
    while (path.size() > 1) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash < 0) {
            return;
        }
        path.truncate(std::max<qsizetype>(slash, 1));
        const QModelIndex known = model->index(path);
        if (known.isValid()) {
            tree->expand(known);
            model->fetchMore(known);
            return;
        }
    }
}

}  // namespace gv
