#include "platform/DirectoryReader.h"

#include "platform/FileNameBytes.h"

#include <QByteArray>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace gv {

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

// A directory entry as getdents64 writes it.
struct DirectoryEntry {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];  // the start of the NUL-terminated name, as long as the record allows
};

}  // namespace

namespace {

// The entries come in blocks straight from the kernel: readdir would hand them out one call at
// a time from a smaller buffer.
constexpr std::size_t kBlockBytes = 64 * 1024;
// Names taken on the calling thread alone; a folder with more goes on being read on a thread of
// its own while the caller takes the names read so far.
constexpr std::size_t kNamesBeforeReaderThread = 4096;

enum class BlockResult { More, End, Failed };

// What a walk lists: regular files, or folders.
enum class EntryKind { File, Folder };

// Reads one block of entries and calls each(name) for the entries of that kind that wanted()
// admits.
template <typename Each>
BlockResult readBlock(int fd, char* block, EntryKind kind, const FolderFileFilter& wanted,
                      Each&& each) {
    const unsigned char kindType = kind == EntryKind::File ? DT_REG : DT_DIR;
    const mode_t kindMode = kind == EntryKind::File ? S_IFREG : S_IFDIR;
    long filled = 0;
    do {
        filled = ::syscall(SYS_getdents64, fd, block, kBlockBytes);
    } while (filled < 0 && errno == EINTR);
    if (filled == 0) {
        return BlockResult::End;
    }
    if (filled < 0) {
        return BlockResult::Failed;
    }
    for (long offset = 0; offset < filled;) {
        const char* record = block + offset;
        const auto* entry = reinterpret_cast<const DirectoryEntry*>(record);
        if (entry->d_reclen == 0) {
            return BlockResult::Failed;  // a damaged block: stop rather than go round for ever
        }
        offset += entry->d_reclen;
        bool needsStat = false;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            needsStat = true;
        } else if (entry->d_type != kindType) {
            continue;
        }
        const char* nameBytes = record + offsetof(DirectoryEntry, d_name);
        const std::string_view name(nameBytes);
        if (kind == EntryKind::Folder && (name == "." || name == "..")) {
            continue;
        }
        if (!wanted(name)) {
            continue;
        }
        if (needsStat) {
            // Follows the link: a link counts as what it points at.
            struct stat status {};
            if (::fstatat(fd, nameBytes, &status, 0) != 0 ||
                (status.st_mode & S_IFMT) != kindMode) {
                continue;
            }
        }
        each(name);
    }
    return BlockResult::More;
}

// The names a reader thread has read, handed to the calling thread block by block: each
// batch holds names ended by a NUL.
class NameQueue {
public:
    void push(std::string batch) {
        {
            const std::lock_guard lock(m_mutex);
            m_batches.push_back(std::move(batch));
        }
        m_ready.notify_one();
    }
    void finish(bool ok) {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
            m_ok = ok;
        }
        m_ready.notify_one();
    }
    // The next batch, or nothing when the reader has finished and everything was taken.
    std::optional<std::string> pop() {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_batches.empty() || m_finished; });
        if (m_batches.empty()) {
            return std::nullopt;
        }
        std::string batch = std::move(m_batches.front());
        m_batches.pop_front();
        return batch;
    }
    bool ok() {
        const std::lock_guard lock(m_mutex);
        return m_ok;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::string> m_batches;
    bool m_finished = false;
    bool m_ok = false;
};

// The folder's path as the system stores it, or nothing when the text cannot name one.
std::optional<QByteArray> systemPath(const QString& folder) {
    const QByteArray path = fileNameToBytes(folder);
    // An embedded NUL would silently name a different folder (the path cut short there).
    if (path.isEmpty() || path.contains('\0')) {
        return std::nullopt;
    }
    return path;
}

int openFolder(const QString& folder) {
    const std::optional<QByteArray> path = systemPath(folder);
    if (!path) {
        errno = ENOENT;
        return -1;
    }
    return ::open(path->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

bool forEachFolderFile(const QString& folder, const FolderFileFilter& wanted,
                       const FolderFileSink& take) {
    const int fd = openFolder(folder);
    if (fd < 0) {
        return false;
    }
    const FdCloser closer{fd};
    const std::unique_ptr<char[]> block(new char[kBlockBytes]);
    // Reads on this thread until the folder ends (true), fails (false) or `limit` names were
    // taken (no answer yet).
    std::size_t taken = 0;
    const auto readHere = [&](std::size_t limit) -> std::optional<bool> {
        while (taken < limit) {
            switch (readBlock(fd, block.get(), EntryKind::File, wanted, [&](std::string_view name) {
                take(name);
                ++taken;
            })) {
                case BlockResult::More:
                    break;
                case BlockResult::End:
                    return true;
                case BlockResult::Failed:
                    return false;
            }
        }
        return std::nullopt;
    };
    if (const std::optional<bool> small = readHere(kNamesBeforeReaderThread)) {
        return *small;
    }
    // A big folder: the kernel's reading goes on beside the caller's work on the names.
    NameQueue queue;
    std::optional<std::jthread> reader;
    try {
        reader.emplace([&queue, &wanted, fd, buffer = block.get()](std::stop_token stop) {
            BlockResult result = BlockResult::More;
            while (result == BlockResult::More && !stop.stop_requested()) {
                std::string batch;
                result =
                    readBlock(fd, buffer, EntryKind::File, wanted, [&batch](std::string_view name) {
                        batch.append(name);
                        batch.push_back('\0');
                    });
                if (!batch.empty()) {
                    queue.push(std::move(batch));
                }
            }
            queue.finish(result == BlockResult::End);
        });
    } catch (const std::system_error&) {
        // No thread to be had: this one reads on.
        return *readHere(std::numeric_limits<std::size_t>::max());
    }
    // Should take() throw, the reader is stopped and joined as `reader` goes out of scope.
    while (std::optional<std::string> batch = queue.pop()) {
        for (std::size_t start = 0; start < batch->size();) {
            const std::size_t end = batch->find('\0', start);
            take(std::string_view(batch->data() + start, end - start));
            start = end + 1;
        }
    }
    return queue.ok();
}

FolderFiles readFolderFiles(const QString& folder) {
    FolderFiles files;
    files.ok = forEachFolderFile(
        folder, [](std::string_view) { return true; },
        [&files](std::string_view name) { files.names.append(decodeFileName(name)); });
    return files;
}

Subfolders readSubfolders(const QString& folder, const std::atomic<bool>* stop) {
    Subfolders found;
    const int fd = openFolder(folder);
    if (fd < 0) {
        return found;
    }
    const FdCloser closer{fd};
    const std::unique_ptr<char[]> block(new char[kBlockBytes]);
    const FolderFileFilter everyName = [](std::string_view) { return true; };
    while (stop == nullptr || !stop->load(std::memory_order_relaxed)) {
        switch (readBlock(
            fd, block.get(), EntryKind::Folder, everyName,
            [&found](std::string_view name) { found.names.append(fileNameFromBytes(name)); })) {
            case BlockResult::More:
                break;
            case BlockResult::End:
                found.ok = true;
                return found;
            case BlockResult::Failed:
                return found;
        }
    }
    return found;
}

QString decodeFileName(std::string_view name) {
    return fileNameFromBytes(name);
}

}  // namespace gv
