#pragma once
// Renders of the shown picture at a new size (a metafile played through the helper, a huge
// raster scaled smoothly) made on a worker, so that the window goes on painting, scrolling and
// taking commands meanwhile. Only the newest wish counts: a render asked for earlier is never
// handed out, and one still waiting for a thread never runs.

#include <QColor>
#include <QImage>
#include <QObject>
#include <QSize>
#include <functional>
#include <memory>
#include <optional>

#include "images/Picture.h"

namespace gv {

class BackgroundRender final {
public:
    // `arrived` is called on context's thread when the render last asked for is there.
    BackgroundRender(QObject* context, std::function<void()> arrived);
    // A render still running ends unseen.
    ~BackgroundRender();
    BackgroundRender(const BackgroundRender&) = delete;
    BackgroundRender& operator=(const BackgroundRender&) = delete;

    // Whether rendering picture at size takes long enough to be kept off the window's thread.
    static bool slow(const Picture& picture, QSize size);

    // The render of picture at size once it has arrived; until then nullopt, and the render is
    // asked for (superseding any other) unless it is already under way.
    std::optional<QImage> take(const Picture& picture, QSize size);
    // The picture changed: nothing rendered or asked for so far is wanted any more.
    void forget();

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace gv
