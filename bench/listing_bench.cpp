// Listing a folder of 100 000 pictures: the bare directory read (the reference), the file
// list's full listing (read, pattern, display order), a 10 000-file folder, and Fileseek.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "BenchFolders.h"
#include "images/ImageTypeCatalogue.h"
#include "listing/FileListing.h"

namespace {

constexpr int kLargeFolderFiles = 100'000;
constexpr int kSmallFolderFiles = 10'000;

QString g_largeFolder;
QString g_smallFolder;
double g_readdirSeconds = 0;      // processor time per pass, for the listing's ratios
double g_readdirWallSeconds = 0;  // elapsed time per pass

int bareReaddir(const QString& folder) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    int entries = 0;
    while (const dirent* entry = ::readdir(dir)) {
        benchmark::DoNotOptimize(entry->d_name[0]);
        ++entries;
    }
    ::closedir(dir);
    return entries;
}

double processSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double wallSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct Timing {
    double processor = 0;
    double wall = 0;
};

// The process's processor time (user and system, every thread) of one call, and its elapsed
// time: the machine may be shared, and waiting for a processor blurs the elapsed time; the
// listing sorts on two threads, so its processor time is more than the time the user waits.
template <typename Work>
Timing timed(Work&& work) {
    const double start = processSeconds();
    const double wallStart = wallSeconds();
    work();
    return {processSeconds() - start, wallSeconds() - wallStart};
}

void BM_BareReaddir(benchmark::State& state) {
    Timing total;
    int entries = 0;
    for (auto _ : state) {
        const Timing t = timed([&] { entries = bareReaddir(g_largeFolder); });
        total.processor += t.processor;
        total.wall += t.wall;
    }
    g_readdirSeconds = total.processor / double(state.iterations());
    g_readdirWallSeconds = total.wall / double(state.iterations());
    state.counters["entries"] = entries;
}

// The listing as a list of strings: every name's string is made, which the window's file list
// does not do (folder_bench measures the window).
void BM_ListImageFiles(benchmark::State& state) {
    const QString folder = state.range(0) == kLargeFolderFiles ? g_largeFolder : g_smallFolder;
    const QString pattern = gv::allTypesPattern();
    Timing total;
    qsizetype listed = 0;
    for (auto _ : state) {
        QStringList names;
        const Timing t = timed([&] { names = gv::listImageFiles(folder, pattern); });
        total.processor += t.processor;
        total.wall += t.wall;
        listed = names.size();
        // Freeing the list is the caller's business, not the listing's.
        state.PauseTiming();
        names = QStringList();
        state.ResumeTiming();
    }
    state.counters["listed"] = double(listed);
    if (state.range(0) == kLargeFolderFiles && g_readdirSeconds > 0) {
        const double runs = double(state.iterations());
        state.counters["cpu_x_readdir"] = total.processor / runs / g_readdirSeconds;
        state.counters["x_readdir"] = total.wall / runs / g_readdirWallSeconds;
    }
}

void BM_SortForDisplay(benchmark::State& state) {
    const QStringList listed = gv::listImageFiles(g_largeFolder, gv::allTypesPattern());
    for (auto _ : state) {
        state.PauseTiming();
        QStringList names = listed;
        std::shuffle(names.begin(), names.end(), std::mt19937(7));
        state.ResumeTiming();
        gv::sortForDisplay(names);
        benchmark::DoNotOptimize(names.data());
    }
}

void BM_Fileseek(benchmark::State& state) {
    // The listing as the file list holds it, searched without making its strings.
    const gv::FileNames names = gv::readImageFileNames(g_largeFolder, QStringLiteral("*"));
    qsizetype found = 0;
    for (auto _ : state) {
        found = gv::fileseekMatches(names, QStringLiteral("bea")).size();
    }
    state.counters["names"] = double(names.size());
    state.counters["found"] = double(found);
}

BENCHMARK(BM_BareReaddir)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListImageFiles)
    ->Arg(kLargeFolderFiles)
    ->Arg(kSmallFolderFiles)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortForDisplay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fileseek)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir root;  // under $TMPDIR, removed at the end
    if (!root.isValid()) {
        std::fprintf(stderr, "listing_bench: cannot make a temporary folder\n");
        return 1;
    }
    g_largeFolder = root.filePath(QStringLiteral("large"));
    g_smallFolder = root.filePath(QStringLiteral("small"));
    gvbench::makeFolder(g_largeFolder, kLargeFolderFiles, 1);
    gvbench::makeFolder(g_smallFolder, kSmallFolderFiles, 2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
