// Launching `glimvane FILE` to the first image pixels on screen. Watches the X server for the
// map of the window titled "Glimvane - NAME", then reads a pixel inside the image view until
// it shows the image instead of the view's background. Run without a window manager.
//   launch_bench GLIMVANE FILE [runs]

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

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string windowTitle(xcb_connection_t* c, xcb_window_t w) {
    const char* atomName = "_NET_WM_NAME";
    auto atomCookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(atomName)), atomName);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, atomCookie, nullptr);
    if (!atom) {
        return {};
    }
    auto cookie = xcb_get_property(c, 0, w, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    free(atom);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    if (!reply) {
        return {};
    }
    std::string title(static_cast<const char*>(xcb_get_property_value(reply)),
                      xcb_get_property_value_length(reply));
    free(reply);
    return title;
}

// The pixel at (x, y) of the window as 0xRRGGBB, or -1.
long pixelAt(xcb_connection_t* c, xcb_window_t w, int x, int y) {
    auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, static_cast<int16_t>(x),
                                static_cast<int16_t>(y), 1, 1, ~0u);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(c, cookie, nullptr);
    if (!reply) {
        return -1;
    }
    const uint8_t* data = xcb_get_image_data(reply);
    const long rgb = (long(data[2]) << 16) | (long(data[1]) << 8) | data[0];
    free(reply);
    return rgb;
}

bool isImagePixel(long rgb) {
    // Not the view's grey or black, nor a still unpainted (black/white) window.
    return rgb >= 0 && rgb != 0xC0C0C0 && rgb != 0x000000 && rgb != 0xFFFFFF;
}

double launchOnce(xcb_connection_t* c, const char* program, const char* file,
                  const std::string& title) {
    char* args[] = {const_cast<char*>(program), const_cast<char*>(file), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, args, environ) != 0) {
        return -1;
    }
    xcb_window_t window = 0;
    double elapsed = -1;
    while (elapsed < 0 && Clock::now() - start < std::chrono::seconds(30)) {
        if (window) {
            // Inside the image view: below the menu bar and the toolbar row.
            if (isImagePixel(pixelAt(c, window, 60, 120))) {
                elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            } else {
                usleep(1000);
            }
            continue;
        }
        xcb_generic_event_t* e = xcb_poll_for_event(c);
        if (!e) {
            usleep(200);
            continue;
        }
        if ((e->response_type & ~0x80) == XCB_MAP_NOTIFY) {
            auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
            if (windowTitle(c, map->window) == title) {
                window = map->window;
            }
        }
        free(e);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    usleep(100000);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
        free(e);
    }
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s GLIMVANE FILE [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    std::string name = argv[2];
    name = name.substr(name.find_last_of('/') + 1);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(launchOnce(c, argv[1], argv[2], "Glimvane - " + name));
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "launch: glimvane FILE (6000x4000 JPEG) to the first image pixels on screen: "
        "median %.1f ms of %d (min %.1f, max %.1f)\n",
        times[times.size() / 2], runs, times.front(), times.back());
    xcb_disconnect(c);
    return times.front() > 0 ? 0 : 1;
}
