// Launching `glimvane FILE` to the first image pixels on screen, each figure against its
// reference measured in the same run, the launches interleaved so that both see the same load:
//   - a big JPEG against feh showing the same file (time and peak memory);
//   - a small JPEG against the main window started without an image;
//   - an image in a folder of 100 000 image files against the same image alone in its folder;
//   - with "photo" first: a phone's photograph (HEIC, AVIF) against the format's own converter
//     decoding it to a file, given as the command after the file.
// Watches the X server for the map of the window with the expected title, then reads a pixel
// of it until it shows the image instead of a background. Run without a window manager.
//   launch_bench GLIMVANE FEH BIG SMALL CROWDED ALONE [runs]
//   launch_bench photo GLIMVANE FILE RUNS CONVERTER [ARGUMENTS...]

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
#include <fstream>
#include <string>
#include <vector>

#include "WindowTitle.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// After the first pixels, how long a program may go on (decoding the rest of the image)
// before its peak memory is read.
constexpr auto kSettle = std::chrono::milliseconds(1500);

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

// Peak resident memory of a process, in MB.
double peakMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return -1;
}

struct Launch {
    std::vector<std::string> argv;
    std::string title;
    // Where the image shows first, in window coordinates; no pixel check when negative: the
    // map of the window is the moment measured.
    int x = -1, y = -1;
};

struct Measured {
    double ms = -1;
    double peakMb = -1;
};

Measured launchOnce(xcb_connection_t* c, const Launch& launch, bool measureMemory) {
    std::vector<char*> args;
    for (const auto& a : launch.argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return {};
    }
    xcb_window_t window = 0;
    Measured m;
    while (m.ms < 0 && Clock::now() - start < std::chrono::seconds(30)) {
        if (window) {
            if (isImagePixel(pixelAt(c, window, launch.x, launch.y))) {
                m.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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
            if (windowTitle(c, map->window).rfind(launch.title, 0) == 0) {
                if (launch.x < 0) {
                    m.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                }
                window = map->window;
            }
        }
        free(e);
    }
    if (measureMemory) {
        usleep(std::chrono::duration_cast<std::chrono::microseconds>(kSettle).count());
        m.peakMb = peakMb(pid);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    usleep(100000);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
        free(e);
    }
    return m;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

std::string fileName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// How long a command takes to its end.
double commandMs(char** argv) {
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

int comparePhoto(xcb_connection_t* c, int argc, char** argv) {
    const std::string glimvane = argv[2], file = argv[3];
    const int runs = std::max(1, std::atoi(argv[4]));
    const Launch shown{{glimvane, file}, "Glimvane - " + fileName(file), 60, 120};
    std::vector<double> viewer, converter;
    for (int i = 0; i < runs; ++i) {
        converter.push_back(commandMs(argv + 5));
        viewer.push_back(launchOnce(c, shown, false).ms);
    }
    (void)argc;
    const double v = median(viewer), r = median(converter);
    std::printf("launch: %s to its first pixels %.1f ms; %s decoding it %.1f ms; ratio %.2f "
                "(target <= 1.00); medians of %d\n",
                fileName(file).c_str(), v, fileName(argv[5]).c_str(), r, r > 0 ? v / r : 0.0,
                runs);
    return v > 0 && r > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && std::strcmp(argv[1], "photo") == 0) {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "no X display\n");
            return 2;
        }
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
        const int result = comparePhoto(c, argc, argv);
        xcb_disconnect(c);
        return result;
    }
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s GLIMVANE FEH BIG SMALL CROWDED ALONE [runs]\n", argv[0]);
        return 2;
    }
    const std::string glimvane = argv[1], feh = argv[2], big = argv[3], small = argv[4],
                      crowded = argv[5], alone = argv[6];
    const int runs = argc > 7 ? std::max(1, std::atoi(argv[7])) : 5;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    // Inside the image view, below the menu bar and the toolbar row; inside feh's image.
    const int x = 60, y = 120;
    const Launch fehBig{{feh, "--title", "feh-reference", big}, "feh-reference", x, y};
    const Launch glimvaneBig{{glimvane, big}, "Glimvane - " + fileName(big), x, y};
    const Launch emptyWindow{{glimvane}, "Glimvane - Vividra"};
    const Launch glimvaneSmall{{glimvane, small}, "Glimvane - " + fileName(small), x, y};
    const Launch inCrowd{{glimvane, crowded}, "Glimvane - " + fileName(crowded), x, y};
    const Launch onItsOwn{{glimvane, alone}, "Glimvane - " + fileName(alone), x, y};

    std::vector<double> fehMs, fehMb, bigMs, bigMb, windowMs, smallMs, crowdMs, aloneMs;
    for (int i = 0; i < runs; ++i) {
        const Measured f = launchOnce(c, fehBig, true);
        const Measured g = launchOnce(c, glimvaneBig, true);
        fehMs.push_back(f.ms);
        fehMb.push_back(f.peakMb);
        bigMs.push_back(g.ms);
        bigMb.push_back(g.peakMb);
        windowMs.push_back(launchOnce(c, emptyWindow, false).ms);
        smallMs.push_back(launchOnce(c, glimvaneSmall, false).ms);
        crowdMs.push_back(launchOnce(c, inCrowd, false).ms);
        aloneMs.push_back(launchOnce(c, onItsOwn, false).ms);
    }
    const double fm = median(fehMs), gm = median(bigMs), fmb = median(fehMb), gmb = median(bigMb);
    std::printf(
        "launch: big JPEG to its first pixels: feh %.1f ms, Glimvane %.1f ms, ratio %.2f "
        "(target <= 0.60); peak memory: feh %.1f MB, Glimvane %.1f MB (target <= feh's); "
        "medians of %d\n",
        fm, gm, fm > 0 ? gm / fm : 0.0, fmb, gmb, runs);
    const double wm = median(windowMs), sm = median(smallMs);
    std::printf(
        "launch: small JPEG to its first pixels %.1f ms; the main window without an image "
        "%.1f ms; ratio %.2f (target <= 1.30); medians of %d\n",
        sm, wm, wm > 0 ? sm / wm : 0.0, runs);
    const double cm = median(crowdMs), am = median(aloneMs);
    std::printf(
        "launch: JPEG in a folder of 100 000 image files to its first pixels %.1f ms; alone in "
        "its folder %.1f ms; ratio %.2f (target <= 1.15); medians of %d\n",
        cm, am, am > 0 ? cm / am : 0.0, runs);
    xcb_disconnect(c);
    const bool all = fm > 0 && gm > 0 && wm > 0 && sm > 0 && cm > 0 && am > 0;
    return all ? 0 : 1;
}
