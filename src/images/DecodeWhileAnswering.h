#pragma once
// A decode run on a worker thread while the calling window goes on answering: it repaints,
// scrolls and takes commands until the result is there, and only then is the result applied
// (by the caller, on the window's thread, where all state changes). A newer load started
// meanwhile (from a command taken while waiting) supersedes this one: its result is never
// shown, a decode of it still queued never runs, and its wait ends as soon as the newer one's
// has.

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "images/Decoder.h"

namespace gv {

// Counts the loads of one window; each load takes a ticket, and only the newest is wanted.
// The count is shared with the workers, which may outlive the window.
class LoadTickets final {
public:
    quint64 take() { return ++*m_latest; }
    bool current(quint64 ticket) const { return m_latest->load() == ticket; }
    std::shared_ptr<const std::atomic<quint64>> counter() const { return m_latest; }

private:
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
};

// DecodeImageFile(path, request) on a worker, with the caller's thread running its events
// meanwhile. nullopt when a newer ticket was taken meanwhile or the program is quitting.
std::optional<DecodeResult> decodeWhileAnswering(const QString& path, const DecodeRequest& request,
                                                 const LoadTickets& tickets, quint64 ticket);
// The same for any work that gives a picture (a look in the cache of pictures decoded ahead,
// which may wait for one under way, then the decode); `work` never runs once superseded.
std::optional<DecodeResult> runWhileAnswering(std::function<DecodeResult()> work,
                                              const LoadTickets& tickets, quint64 ticket);

}  // namespace gv
