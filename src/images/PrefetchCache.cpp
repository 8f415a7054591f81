#include "images/PrefetchCache.h"

#include <QThread>

#include <QDateTime>
#include <algorithm>
#include <chrono>

#include "images/Decoder.h"
#include "platform/Background.h"
#include "platform/FileAccess.h"
#include "platform/Screen.h"

namespace gv {
namespace {

// A metafile is held as its records, not as a raster; its bytes are counted on top.
constexpr qint64 kMetafileCost = 64 * 1024;
// Enough to remember every broken file of a large folder, small enough to scan on each step.
constexpr std::size_t kMaxFailures = 256;

}  // namespace

PrefetchCache::PrefetchCache(qint64 budgetBytes, QObject* parent)
    : QObject(parent),
      m_budget(std::max<qint64>(budgetBytes, 0)),
      m_decodeBudget(std::min(m_budget, defaultMemoryBudget())) {
    // One decode at a time, behind everything the user is waiting for.
    m_pool.setMaxThreadCount(1);
}

PrefetchCache::~PrefetchCache() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    // A decode cannot be interrupted; it is bounded by the decode budget, so waiting is short.
    m_pool.waitForDone();
}

PrefetchCache::FileStamp PrefetchCache::stampOf(const QString& path) {
    const std::optional<struct stat> st = statPath(path);
    if (!st) {
        return {};
    }
    // The change time catches a rewrite that restored the modification time.
    const auto ms = [](const struct timespec& t) {
        return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    };
    return {true, qint64(st->st_size), ms(st->st_mtim), ms(st->st_ctim)};
}

qint64 PrefetchCache::costOf(const Picture& picture) {
    const qint64 own = picture.originalBytes().size();
    if (picture.isMetafile()) {
        return kMetafileCost + own;
    }
    return picture.raster().sizeInBytes() + own;
}

void PrefetchCache::prefetch(const QStringList& paths, const QSize& fitInto) {
    // Decoding on the worker must give the same picture as decoding on the UI thread, and the
    // screen is only asked here.
    const double dpi = 1440.0 / twipsPerPixelX();
    std::vector<std::pair<Key, FileStamp>> wanted;
    for (const QString& path : paths) {
        const Key key{path, fitInto};
        const bool seen = std::any_of(wanted.begin(), wanted.end(),
                                      [&](const auto& w) { return w.first == key; });
        if (!path.isEmpty() && !seen) {
            wanted.emplace_back(key, stampOf(path));
        }
    }

    bool startWorker = false;
    {
        std::lock_guard lock(m_mutex);
        m_wishes.clear();
        m_queue.clear();
        for (const auto& [key, stamp] : wanted) {
            m_wishes.push_back(key);
            if (runningLocked(key)) {
                continue;  // its result is kept when it ends, as it is still wanted
            }
            const auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                                            [&](const Entry& e) { return e.key == key; });
            if (entry != m_entries.end()) {
                if (entry->stamp == stamp) {
                    entry->lastUsed = ++m_useClock;
                    continue;
                }
                removeEntryLocked(static_cast<std::size_t>(entry - m_entries.begin()));
            }
            const auto failure = std::find_if(m_failures.begin(), m_failures.end(),
                                              [&](const Failure& f) { return f.key == key; });
            if (failure != m_failures.end()) {
                if (failure->stamp == stamp) {
                    continue;
                }
                m_failures.erase(failure);
            }
            m_queue.push_back({key, dpi, m_generation});
        }
        if (!m_queue.empty() && !m_workerActive && !m_stopping) {
            m_workerActive = true;
            startWorker = true;
        }
    }
    if (startWorker) {
        m_pool.start([this] { runJobs(); });
    }
}

std::shared_ptr<PrefetchCache> PrefetchCache::makeShared() {
    return std::shared_ptr<PrefetchCache>(new PrefetchCache, [](PrefetchCache* cache) {
        if (QThread::currentThread() == cache->thread()) {
            delete cache;
        } else {
            cache->deleteLater();
        }
    });
}

std::optional<Picture> PrefetchCache::take(const QString& path, const QSize& fitInto) {
    const Key key{path, fitInto};
    std::unique_lock lock(m_mutex);
    m_jobEnded.wait_for(lock, std::chrono::milliseconds(kTakeWaitMs),
                        [&] { return !runningLocked(key); });
    const auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const Entry& e) { return e.key == key; });
    if (entry == m_entries.end()) {
        // The caller decodes it now; doing it again here would only compete for the CPU.
        std::erase_if(m_queue, [&](const Job& job) { return job.key == key; });
        return std::nullopt;
    }
    Picture picture = entry->picture;
    const FileStamp held = entry->stamp;
    // Handed out or stale, it leaves the cache either way.
    removeEntryLocked(static_cast<std::size_t>(entry - m_entries.begin()));
    if (stampOf(path) != held) {
        return std::nullopt;
    }
    return picture;
}

void PrefetchCache::clear() {
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_wishes.clear();
    m_queue.clear();
    m_entries.clear();
    m_failures.clear();
    m_bytesInUse = 0;
}

qint64 PrefetchCache::bytesInUse() const {
    std::lock_guard lock(m_mutex);
    return m_bytesInUse;
}

void PrefetchCache::runJobs() {
    // The pool's thread only ever decodes ahead.
    enterBackgroundPriority();
    for (;;) {
        Job job;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping || m_queue.empty()) {
                m_workerActive = false;
                return;
            }
            job = m_queue.front();
            m_queue.erase(m_queue.begin());
            m_running = job.key;
            m_runningGeneration = job.generation;
        }

        const FileStamp before = stampOf(job.key.path);
        DecodeRequest request;
        request.fitInto = job.key.fitInto;
        request.memoryBudget = m_decodeBudget;
        request.dpi = job.dpi;
        const DecodeResult result = DecodeImageFile(job.key.path, request);
        // A file that changed while it was read may have given a mixture of both versions.
        const bool steady = stampOf(job.key.path) == before;

        bool kept = false;
        {
            std::lock_guard lock(m_mutex);
            m_running.reset();
            ++m_jobsRun;
            if (job.generation == m_generation && steady) {
                if (!result.ok()) {
                    rememberFailureLocked(job.key, before);
                } else {
                    const Picture& picture = result.picture();
                    kept = keepLocked({job.key, before, picture, costOf(picture), ++m_useClock});
                }
            }
        }
        m_jobEnded.notify_all();
        if (kept) {
            // Queued, so receivers run on the UI thread; dropped if the cache is gone by then.
            QMetaObject::invokeMethod(
                this, [this, path = job.key.path] { Q_EMIT decoded(path); }, Qt::QueuedConnection);
        }
    }
}

bool PrefetchCache::runningLocked(const Key& key) const {
    // A decode started before clear() is discarded when it ends, so it does not count.
    return m_running == key && m_runningGeneration == m_generation;
}

int PrefetchCache::wishRankLocked(const Key& key) const {
    const auto it = std::find(m_wishes.begin(), m_wishes.end(), key);
    return it == m_wishes.end() ? -1 : static_cast<int>(it - m_wishes.begin());
}

void PrefetchCache::removeEntryLocked(std::size_t index) {
    m_bytesInUse -= m_entries[index].bytes;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
}

bool PrefetchCache::keepLocked(Entry entry) {
    const int rank = wishRankLocked(entry.key);
    if (rank < 0) {
        return false;  // the wish list moved on while it was decoded
    }
    if (entry.bytes > m_budget) {
        // It could never be held; decoding it again on every step would only cost time.
        rememberFailureLocked(entry.key, entry.stamp);
        return false;
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].key == entry.key) {
            removeEntryLocked(i);
            break;
        }
    }

    // Room is made from pictures nobody asks for any more, least recently used first, then
    // from wishes less wanted than this one, least wanted first. Nothing is evicted unless
    // that makes enough room.
    struct Candidate {
        std::size_t index;
        int rank;
        quint64 lastUsed;
    };
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const int r = wishRankLocked(m_entries[i].key);
        if (r < 0 || r > rank) {
            candidates.push_back({i, r, m_entries[i].lastUsed});
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        const bool aUnwanted = a.rank < 0;
        const bool bUnwanted = b.rank < 0;
        if (aUnwanted != bUnwanted) {
            return aUnwanted;
        }
        return aUnwanted ? a.lastUsed < b.lastUsed : a.rank > b.rank;
    });
    qint64 freed = 0;
    std::size_t victims = 0;
    while (m_bytesInUse - freed + entry.bytes > m_budget && victims < candidates.size()) {
        freed += m_entries[candidates[victims].index].bytes;
        ++victims;
    }
    if (m_bytesInUse - freed + entry.bytes > m_budget) {
        return false;
    }
    std::vector<std::size_t> doomed;
    for (std::size_t v = 0; v < victims; ++v) {
        doomed.push_back(candidates[v].index);
    }
    // From the back, so the remaining indices stay valid.
    std::sort(doomed.begin(), doomed.end(), std::greater<>());
    for (const std::size_t index : doomed) {
        removeEntryLocked(index);
    }
    m_bytesInUse += entry.bytes;
    m_entries.push_back(std::move(entry));
    return true;
}

void PrefetchCache::rememberFailureLocked(const Key& key, const FileStamp& stamp) {
    const auto known = std::find_if(m_failures.begin(), m_failures.end(),
                                    [&](const Failure& f) { return f.key == key; });
    if (known != m_failures.end()) {
        m_failures.erase(known);
    }
    if (m_failures.size() >= kMaxFailures) {
        m_failures.erase(m_failures.begin());
    }
    m_failures.push_back({key, stamp});
}

}  // namespace gv
