// Start-up time to the shown main window, against a bare Qt window started the same way.
// Launches each program repeatedly on the current X display and times from the launch to the
// MapNotify of the window with the expected title. Run it without a window manager (the
// bench script does) so top-level windows are children of the root.

#include <xcb/xcb.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WindowTitle.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from launch to the map of a window titled `title`; -1 on time-out.
double launchAndTime(xcb_connection_t* c, const std::vector<std::string>& argv,
                     const std::string& title) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return -1;
    }
    double elapsed = -1;
    while (elapsed < 0) {
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (!e) {
            if (Clock::now() - start > std::chrono::seconds(20)) {
                break;
            }
            usleep(200);
            continue;
        }
        if ((e->response_type & ~0x80) == XCB_MAP_NOTIFY) {
            auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
            if (windowTitle(c, map->window) == title) {
                elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
        }
        free(e);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    // Let the server forget the windows before the next run.
    xcb_flush(c);
    usleep(100000);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
        free(e);
    }
    return elapsed;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s EMPTY_WINDOW_BINARY GLIMVANE_BINARY [runs [label]]\n",
                     argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 9;
    const char* label = argc > 4 ? argv[4] : "";
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    std::vector<double> empty, glimvane;
    for (int i = 0; i < runs; ++i) {
        empty.push_back(launchAndTime(c, {argv[1]}, "empty"));
        glimvane.push_back(launchAndTime(c, {argv[2]}, "Glimvane - Vividra"));
    }
    const double e = median(empty);
    const double g = median(glimvane);
    std::printf(
        "startup%s: empty Qt window median %.1f ms, Glimvane main window median %.1f ms, "
        "ratio %.2f (target <= 1.50), %d runs each\n",
        label, e, g, e > 0 ? g / e : 0.0, runs);
    xcb_disconnect(c);
    return (e > 0 && g > 0) ? 0 : 1;
}
