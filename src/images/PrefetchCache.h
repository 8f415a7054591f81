#pragma once
// Pictures decoded ahead on one low-priority worker thread, so that stepping to the next image
// shows it without waiting for the decoder. The window states what it will probably want next
// (prefetch) and asks for a file when it needs it (take); anything the cache cannot vouch for
// is a miss, and the window decodes the file itself.
//
// Held pictures never add up to more than the budget, and a decode is refused when its full
// raster would exceed the budget, so the cache costs at most about twice the budget at its peak.
// A picture is only handed out when its file still has the length and modification time it had
// when it was decoded, so a file rewritten or deleted in between is never shown stale.

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "images/Picture.h"

namespace gv {

class PrefetchCache final : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kDefaultBudget = 256ll * 1024 * 1024;
    // How long take() waits for the decode of exactly the wanted file: finishing it is
    // cheaper than starting the same decode again on the UI thread.
    static constexpr int kTakeWaitMs = 2000;

    explicit PrefetchCache(qint64 budgetBytes = kDefaultBudget, QObject* parent = nullptr);
    // A cache that a window shares with the workers that look in it for the window: whoever
    // lets go of it last, it is destroyed on the thread it belongs to.
    static std::shared_ptr<PrefetchCache> makeShared();
    // Drops the jobs not started and waits for the one running.
    ~PrefetchCache() override;

    PrefetchCache(const PrefetchCache&) = delete;
    PrefetchCache& operator=(const PrefetchCache&) = delete;

    // Replaces the wish list: decode these files, most wanted first, for a display box of
    // fitInto. Jobs not started for the previous list are dropped.
    void prefetch(const QStringList& paths, const QSize& fitInto);
    // The picture decoded for path at fitInto when it is ready and its file unchanged since;
    // otherwise nullopt. The picture leaves the cache: from now on its memory is the caller's.
    // Waits up to kTakeWaitMs when exactly this decode is running. On a miss, a queued decode
    // of the same is dropped, as the caller is about to decode it itself.
    std::optional<Picture> take(const QString& path, const QSize& fitInto);
    // Forgets every picture, failure and wish; a running decode is discarded when it ends.
    void clear();

    // Bytes of the pictures held.
    qint64 bytesInUse() const;
    qint64 budget() const { return m_budget; }
    // Decodes finished so far.
    int jobsRun() const { return m_jobsRun.load(); }

Q_SIGNALS:
    // A picture for path was decoded and is held (emitted on the UI thread).
    void decoded(const QString& path);

private:
    // What identifies a file's content without reading it.
    struct FileStamp {
        bool exists = false;
        qint64 size = -1;
        qint64 modifiedMs = 0;
        qint64 changedMs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct Key {
        QString path;
        QSize fitInto;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        FileStamp stamp;
        Picture picture;
        qint64 bytes = 0;
        quint64 lastUsed = 0;
    };
    // A decode that failed (or whose picture could never fit), kept so that it is not
    // retried while the file stays the same.
    struct Failure {
        Key key;
        FileStamp stamp;
    };
    struct Job {
        Key key;
        double dpi = 0;
        quint64 generation = 0;
    };

    static FileStamp stampOf(const QString& path);
    static qint64 costOf(const Picture& picture);

    void runJobs();  // the worker's loop
    // Called with m_mutex held.
    bool keepLocked(Entry entry);
    void rememberFailureLocked(const Key& key, const FileStamp& stamp);
    int wishRankLocked(const Key& key) const;
    void removeEntryLocked(std::size_t index);
    bool runningLocked(const Key& key) const;

    const qint64 m_budget;
    // The worker's own decode peak is bounded as well.
    const qint64 m_decodeBudget;

    mutable std::mutex m_mutex;
    std::condition_variable m_jobEnded;
    std::vector<Key> m_wishes;  // most wanted first
    std::vector<Job> m_queue;   // jobs not started, most wanted first
    std::optional<Key> m_running;
    quint64 m_runningGeneration = 0;
    bool m_workerActive = false;
    bool m_stopping = false;
    quint64 m_generation = 0;
    std::vector<Entry> m_entries;
    std::vector<Failure> m_failures;
    qint64 m_bytesInUse = 0;
    quint64 m_useClock = 0;
    std::atomic<int> m_jobsRun = 0;

    // Last member: destroyed first, so the worker never outlives the state it uses.
    QThreadPool m_pool;
};

}  // namespace gv
