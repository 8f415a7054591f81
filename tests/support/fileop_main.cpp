// Runs one copy or move of the file-operation engine in a process of its own, for the tests
// that kill an operation in the middle or run two beside each other. Prints "progress" at each
// step; with --pause it waits at its first step until a line (or the end) comes on its input.
//   gvfileop [--pause] copy|move DESTINATION SOURCE...

#include <cstdio>
#include <cstring>

#include "files/FileOpEngine.h"
#include "platform/FileNameBytes.h"

namespace {

struct Observer final : gv::FileOpObserver {
    bool pause = false;
    gv::ReplaceAnswer askReplace(const QString&) override { return gv::ReplaceAnswer::Cancel; }
    bool confirmDelete(const QString&, const QString&) override { return false; }
    void showError(const QString& text, const QString&) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    void progressed(const gv::FileOpStatus&) override {
        std::printf("progress\n");
        std::fflush(stdout);
        if (pause) {
            pause = false;
            char line[16];
            (void)!std::fgets(line, sizeof line, stdin);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    Observer observer;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--pause") == 0) {
        observer.pause = true;
        ++arg;
    }
    if (argc - arg < 3) {
        std::fprintf(stderr, "usage: gvfileop [--pause] copy|move DESTINATION SOURCE...\n");
        return 2;
    }
    const gv::FileOpKind kind =
        std::strcmp(argv[arg], "move") == 0 ? gv::FileOpKind::Move : gv::FileOpKind::Copy;
    gv::FileOpRequest request{kind, {}, gv::fileNameFromBytes(std::string_view(argv[arg + 1])), 0};
    for (int i = arg + 2; i < argc; ++i) {
        request.sources << gv::fileNameFromBytes(std::string_view(argv[i]));
    }
    gv::FileOpEngine engine(request, observer);
    return engine.run().ok() ? 0 : 1;
}
