#pragma once
// The folders of the file system for the program's folder trees. Names are kept as the file
// system stores them (the lossless text form of FileNameBytes.h): a folder whose name is not
// UTF-8 shows with U+FFFD in its name but opens, and acts, as itself, never as a look-alike.
// A folder's subfolders are read when the tree first opens it, on a reader thread, so that a
// slow network folder or one of many thousand subfolders never holds up the window; the rows
// arrive later and directoryLoaded() says so.

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QAbstractFileIconProvider;
class QFileSystemWatcher;
class QTimer;
class QTreeView;

namespace gv {

struct Subfolders;

class FolderTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // The row of the folder at the absolute path. A folder the tree has not listed (its parent
    // not read yet, or hidden, or made since) gets its row when it exists, and keeps it: the
    // way to a hidden folder the user went to shows. Invalid when the path is no folder.
    QModelIndex index(const QString& path);
    // The folder's path in lossless text form; reach the system with it through
    // fileNameToBytes() only.
    QString filePath(const QModelIndex& index) const;
    // The folder the window works in (its volume's root). The tree always begins at "/" and
    // reads nothing until a folder is opened or revealed, so setting the root costs nothing.
    void setRootPath(const QString& root) { m_rootPath = root; }
    QString rootPath() const { return m_rootPath; }
    // Reads the folder again, and the folders below it that were read; an empty path reads
    // every folder read so far again. Folders made or removed meanwhile come and go.
    void refresh(const QString& path = QString());
    // The icons of the rows; Qt's default provider when none is set.
    void setIconProvider(QAbstractFileIconProvider* icons) { m_icons = icons; }
    // The tree opened the folder: read when first opened, read again when opened again.
    void folderOpened(const QModelIndex& index);

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    // The subfolders of the folder at path have been read (or could not be) and are shown.
    void directoryLoaded(const QString& path);

private:
    struct Node;
    struct Readers;
    static void readFolders(const std::shared_ptr<Readers>& readers);

    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    QString pathOf(const Node* node) const;
    // The node at the path as the tree holds it now, without adding any.
    Node* findNode(const QString& path) const;
    Node* addChild(Node* parent, const QString& name);
    void startReading(Node* node);
    // Reads a folder read before again (once the reading under way has ended).
    void readAgain(Node* node);
    void takeReading(const QString& path, quint64 ticket, const Subfolders& found);
    void showSubfolders(Node* node, const QStringList& sorted);
    void reorderChildren(Node* node, const QStringList& order);
    void dropRows(Node* node, int first, int last);
    void renumber(Node* node, int from);
    void watch(const QString& path);
    void forget(const Node* node);
    QIcon iconOf(const Node* node) const;

    std::unique_ptr<Node> m_top;  // "/"
    std::shared_ptr<Readers> m_readers;
    quint64 m_lastTicket = 0;
    QString m_rootPath;
    QAbstractFileIconProvider* m_icons = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;  // made with the first folder read
    QTimer* m_changeTimer = nullptr;
    QStringList m_changed;  // watched folders changed on disk, read again together
};

// Puts the model in the tree. A folder the user opens again is read again, so that what
// other programs did to it meanwhile shows.
void setFolderTreeModel(QTreeView* tree, FolderTreeModel* model);

// The folder tree shows the folder: selected and scrolled into sight, sideways too. The tree
// opens its way down as the folders on the way are read: call again on directoryLoaded.
void revealFolderInTree(QTreeView* tree, FolderTreeModel* model, const QString& folder);

}  // namespace gv
