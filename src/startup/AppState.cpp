#include "startup/AppState.h"

#include "platform/SingleInstance.h"

namespace gv {
namespace {
std::unique_ptr<AppState>& holder() {
    static std::unique_ptr<AppState> state = std::make_unique<AppState>();
    return state;
}
}  // namespace

AppState& appState() {
    return *holder();
}

void resetAppState() {
    holder() = std::make_unique<AppState>();
}

}  // namespace gv
