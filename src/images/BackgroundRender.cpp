#include "images/BackgroundRender.h"

#include <QPointer>
#include <QThreadPool>
#include <mutex>

namespace gv {
namespace {

// Above this many source pixels a smooth scale takes longer than a frame.
constexpr qint64 kSlowScalePixels = 2'000'000;

// Two threads: a render that has been superseded cannot be stopped part way (the helper's job
// runs to its end), so the newer one must not have to wait for it.
QThreadPool& renderWorkers() {
    struct Pool {
        QThreadPool pool;
        Pool() { pool.setMaxThreadCount(2); }
    };
    static Pool workers;
    return workers.pool;
}

}  // namespace

struct BackgroundRender::State {
    std::mutex mutex;
    // Counts the wishes; only the newest is rendered and handed out.
    quint64 wish = 0;
    QSize wantedSize;
    std::optional<QImage> done;
    // Set once the owner has gone: the worker then calls nobody.
    bool abandoned = false;
    QObject* context = nullptr;
    std::function<void()> arrived;
};

BackgroundRender::BackgroundRender(QObject* context, std::function<void()> arrived)
    : m_state(std::make_shared<State>()) {
    m_state->context = context;
    m_state->arrived = std::move(arrived);
}

BackgroundRender::~BackgroundRender() {
    std::lock_guard lock(m_state->mutex);
    m_state->abandoned = true;
    ++m_state->wish;
}

bool BackgroundRender::slow(const Picture& picture, QSize size) {
    if (picture.isNull() || size.isEmpty()) {
        return false;
    }
    if (picture.isMetafile()) {
        return true;  // played in the helper, however small
    }
    if (picture.decodingRest() || picture.heldAsPlanes()) {
        return true;  // its raster is still to be made (asking for it here would wait)
    }
    const QSize source = picture.raster().size();
    if (picture.holdsPreview() &&
        (size.width() > source.width() || size.height() > source.height())) {
        return true;  // the full raster is decoded first
    }
    return source != size && qint64(source.width()) * source.height() > kSlowScalePixels;
}

std::optional<QImage> BackgroundRender::take(const Picture& picture, QSize size) {
    State& s = *m_state;
    std::lock_guard lock(s.mutex);
    if (s.wantedSize == size && s.wish != 0) {
        if (s.done) {
            return s.done;
        }
        return std::nullopt;  // under way
    }
    const quint64 wish = ++s.wish;
    s.wantedSize = size;
    s.done.reset();
    const std::shared_ptr<State> state = m_state;
    renderWorkers().start([state, wish, picture, size] {
        {
            std::lock_guard lock(state->mutex);
            if (state->wish != wish) {
                return;  // superseded while it waited for a thread
            }
        }
        QImage image = picture.render(size);
        std::lock_guard lock(state->mutex);
        if (state->wish != wish || state->abandoned) {
            return;  // superseded while it ran: never shown
        }
        state->done = std::move(image);
        QMetaObject::invokeMethod(state->context, state->arrived, Qt::QueuedConnection);
    });
    return std::nullopt;
}

void BackgroundRender::forget() {
    std::lock_guard lock(m_state->mutex);
    ++m_state->wish;
    m_state->wantedSize = QSize();
    m_state->done.reset();
}

}  // namespace gv
