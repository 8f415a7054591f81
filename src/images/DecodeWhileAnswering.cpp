#include "images/DecodeWhileAnswering.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThreadPool>
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
    std::atomic<bool> unwanted = false;
};

}  // namespace

std::optional<DecodeResult> decodeWhileAnswering(const QString& path, const DecodeRequest& request,
                                                 const std::function<bool()>& wanted) {
    auto shared = std::make_shared<Shared>();
    QEventLoop loop;
    shared->loop = &loop;
    loadWorkers().start([shared, path, request] {
        // Superseded before its turn: nothing to decode for.
        std::optional<DecodeResult> result;
        if (!shared->unwanted.load()) {
            result = DecodeImageFile(path, request);
        }
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        if (shared->loop) {
            QMetaObject::invokeMethod(shared->loop, "quit", Qt::QueuedConnection);
        }
    });
    {
        std::unique_lock lock(shared->mutex);
        if (!shared->result) {
            lock.unlock();
            loop.exec();
        }
    }
    std::lock_guard lock(shared->mutex);
    shared->loop = nullptr;
    if (!shared->result || !wanted()) {
        // Quitting, or superseded: the worker drops what it decodes, unseen.
        shared->unwanted.store(true);
        return std::nullopt;
    }
    return std::move(shared->result);
}

}  // namespace gv
