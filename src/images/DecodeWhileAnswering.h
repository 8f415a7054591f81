#pragma once
// A decode run on a worker thread while the calling window goes on answering: it repaints,
// scrolls and takes commands until the result is there, and only then is the result applied
// (by the caller, on the window's thread, where all state changes). A newer load started
// meanwhile (from a command taken while waiting) supersedes this one: its result is never
// shown, and a decode still queued for it is dropped without running.

#include <QString>
#include <functional>
#include <optional>

#include "images/Decoder.h"

namespace gv {

// Counts the loads of one window; each load takes a ticket, and only the newest is wanted.
class LoadTickets final {
public:
    quint64 take() { return ++m_latest; }
    bool current(quint64 ticket) const { return ticket == m_latest; }
    // Supersedes every load in progress (the window closes, or shows something else).
    void supersede() { ++m_latest; }

private:
    quint64 m_latest = 0;
};

// DecodeImageFile(path, request) on a worker, with the caller's thread running its events
// meanwhile. nullopt when the load is no longer wanted once the decode has ended (`wanted`
// says, and must not touch a window that may have gone) or the program is quitting.
std::optional<DecodeResult> decodeWhileAnswering(const QString& path, const DecodeRequest& request,
                                                 const std::function<bool()>& wanted);

}  // namespace gv
