// The decoding helper: Glimvane starts it with its end of a socket as descriptor 3 and decodes
// untrusted files through it (platform/Sandbox.h, images/IsolatedDecode.h).

#include <sys/stat.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstring>

#include "images/IsolatedDecode.h"

int main(int argc, char** argv) {
    struct stat control {};
    if (argc != 2 || std::strcmp(argv[1], "--serve") != 0 || ::fstat(3, &control) != 0 ||
        !S_ISSOCK(control.st_mode)) {
        std::fprintf(stderr, "gvsandbox: Glimvane's decoding helper, started by Glimvane\n");
        return 2;
    }
    // No windows (metafiles are painted into images, with the desktop's fonts, which the
    // helper looks up once rather than every job), and no threads: each job is a fork of this
    // process.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return gv::serveSandboxJobs(3, gv::imageDecodingHandler());
}
