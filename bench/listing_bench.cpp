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

#include "images/ImageTypeCatalogue.h"
#include "mainwindow/FileListing.h"

namespace {

constexpr int kLargeFolderFiles = 100'000;
constexpr int kSmallFolderFiles = 10'000;

QString g_largeFolder;
QString g_smallFolder;
double g_readdirSeconds = 0;  // processor time per pass, for the listing's ratio

// Names as cameras, scanners and people make them: varied stems, case, numbers and lengths,
// every image extension in either case, and some files that are not pictures.
void makeFolder(const QString& folder, int count, unsigned seed) {
    static const char* const kStems[] = {
        "IMG_",        "DSC",
        "dsc_",        "Beach",
        "sunset ",     "holiday-2019-",
        "scan",        "Photo ",
        "P",           "family reunion at the lake ",
        "screenshot_", "wallpaper",
        "Sunbeam",     "x",
        "PANO_",       "very long descriptive file name of a picture "};
    // About one name in fifty goes beyond ASCII, as in a typical collection.
    static const char* const kAccentedStems[] = {"Übersicht ", "café_", "Zürich ", "日本 "};
    static const char* const kExtensions[] = {"bmp",  "jpg", "jpe", "jpeg", "gif", "tif",
                                              "tiff", "pcx", "png", "wmf",  "emf", "pct",
                                              "tga",  "eps", "dib", "rle",  "cur", "ico"};
    static const char* const kOthers[] = {"txt", "xmp", "mov", "db", "html", "JPG~"};
    std::mt19937 random(seed);
    QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(folder);
    const int dir = ::open(path.constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < count; ++i) {
        std::string name = random() % 50 == 0 ? kAccentedStems[random() % std::size(kAccentedStems)]
                                              : kStems[random() % std::size(kStems)];
        if (random() % 4 == 0) {
            for (char& c : name) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        name += std::to_string(i);
        if (random() % 3 == 0) {
            name += random() % 2 ? " (copy)" : "_edit";
        }
        name += '.';
        std::string extension = random() % 10 == 0 ? kOthers[random() % std::size(kOthers)]
                                                   : kExtensions[random() % std::size(kExtensions)];
        if (random() % 5 == 0) {
            for (char& c : extension) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        name += extension;
        const int fd = ::openat(dir, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ::close(dir);
}

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

// The process's processor time (user and system) of one call: the machine may be shared, and
// waiting for a processor would blur the comparison with the bare read.
template <typename Work>
double timed(Work&& work) {
    const double start = processSeconds();
    work();
    return processSeconds() - start;
}

void BM_BareReaddir(benchmark::State& state) {
    double total = 0;
    int entries = 0;
    for (auto _ : state) {
        total += timed([&] { entries = bareReaddir(g_largeFolder); });
    }
    g_readdirSeconds = total / double(state.iterations());
    state.counters["entries"] = entries;
}

void BM_ListImageFiles(benchmark::State& state) {
    const QString folder = state.range(0) == kLargeFolderFiles ? g_largeFolder : g_smallFolder;
    const QString pattern = gv::allTypesPattern();
    double total = 0;
    qsizetype listed = 0;
    for (auto _ : state) {
        QStringList names;
        total += timed([&] { names = gv::listImageFiles(folder, pattern); });
        listed = names.size();
        // Freeing the list is the caller's business, not the listing's.
        state.PauseTiming();
        names = QStringList();
        state.ResumeTiming();
    }
    state.counters["listed"] = double(listed);
    if (state.range(0) == kLargeFolderFiles && g_readdirSeconds > 0) {
        state.counters["cpu_x_readdir"] = total / double(state.iterations()) / g_readdirSeconds;
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
    const QStringList names = gv::listImageFiles(g_largeFolder, QStringLiteral("*"));
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
    makeFolder(g_largeFolder, kLargeFolderFiles, 1);
    makeFolder(g_smallFolder, kSmallFolderFiles, 2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
