#include "images/DecodeWhileAnswering.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>

namespace gv {
namespace {

// The windows' decodes, apart from the pool of decodes ahead: two, so that the decode of a
// newer selection need not wait for the one it supersedes to end.
QThreadPool& loadWorkers() {
    struct Pool {
        QThreadPool pool;
        Pool() { pool.setMaxThreadCount(2); }
    };
    static Pool workers;
    return workers.pool;
}

// What the worker and the waiting window share; the window may have stopped waiting by the
// time the worker ends.
struct Shared {
    std::mutex mutex;
    std::optional<DecodeResult> result;
    QPointer<QEventLoop> loop;
};

// How often a wait looks whether a newer load superseded it.
constexpr int kSupersededCheckMs = 20;

}  // namespace

std::optional<DecodeResult> decodeWhileAnswering(const QString& path, const DecodeRequest& request,
                                                 const LoadTickets& tickets, quint64 ticket) {
    return runWhileAnswering([path, request] { return DecodeImageFile(path, request); }, tickets,
                             ticket);
}

std::optional<DecodeResult> runWhileAnswering(std::function<DecodeResult()> work,
                                              const LoadTickets& tickets, quint64 ticket) {
    auto shared = std::make_shared<Shared>();
    const std::shared_ptr<const std::atomic<quint64>> latest = tickets.counter();
    QEventLoop loop;
    shared->loop = &loop;
    loadWorkers().start([shared, latest, ticket, work = std::move(work)] {
        std::optional<DecodeResult> result;
        // Superseded before its turn: nothing to decode for.
        if (latest->load() == ticket) {
            result = work();
        }
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        if (shared->loop) {
            QMetaObject::invokeMethod(shared->loop, "quit", Qt::QueuedConnection);
        }
    });
    // A newer load runs its own wait inside this one; once it has ended, so does this.
    QTimer superseded;
    QObject::connect(&superseded, &QTimer::timeout, &loop, [&loop, latest, ticket] {
        if (latest->load() != ticket) {
            loop.quit();
        }
    });
    superseded.start(kSupersededCheckMs);
    {
        std::unique_lock lock(shared->mutex);
        const bool done = shared->result.has_value();
        lock.unlock();
        if (!done) {
            loop.exec();
        }
    }
    std::lock_guard lock(shared->mutex);
    shared->loop = nullptr;
    if (!shared->result || latest->load() != ticket) {
        // Quitting, or superseded: the worker's result is dropped, unseen.
        return std::nullopt;
    }
    return std::move(shared->result);
}

}  // namespace gv
