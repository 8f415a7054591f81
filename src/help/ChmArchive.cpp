#include "help/ChmArchive.h"

#include <chm_lib.h>
#include <sys/mman.h>
#include <unistd.h>
#include <cerrno>
#include <string>

namespace gv {
namespace {

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

int collectEntry(chmFile*, chmUnitInfo* info, void* context) {
    auto* entries = static_cast<QList<ChmArchive::Entry>*>(context);
    if (entries->size() >= ChmArchive::kMaxEntries) {
        return CHM_ENUMERATOR_SUCCESS;
    }
    const QByteArray path(info->path);
    if (!path.isEmpty() && !path.endsWith('/')) {
        entries->append({path, qint64(info->length > LONGUINT64(INT64_MAX) ? INT64_MAX
                                                                          : info->length)});
    }
    return CHM_ENUMERATOR_CONTINUE;
}

}  // namespace

ChmArchive::ChmArchive(const QByteArray& bytes) {
    // CHMLib reads from a file of its own opening: a file that lives in memory only, opened
    // again through its descriptor, is that file.
    m_fd = ::memfd_create("gvhelp", MFD_CLOEXEC);
    if (m_fd < 0 || !writeAll(m_fd, bytes)) {
        return;
    }
    const std::string name = "/proc/self/fd/" + std::to_string(m_fd);
    m_chm = chm_open(name.c_str());
    if (!m_chm) {
        return;
    }
    chm_enumerate(m_chm, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_SPECIAL | CHM_ENUMERATE_FILES,
                  collectEntry, &m_entries);
}

ChmArchive::~ChmArchive() {
    if (m_chm) {
        chm_close(m_chm);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<QByteArray> ChmArchive::read(const QByteArray& path) const {
    if (!m_chm || path.size() > CHM_MAX_PATHLEN) {
        return std::nullopt;
    }
    chmUnitInfo info{};
    if (chm_resolve_object(m_chm, path.constData(), &info) != CHM_RESOLVE_SUCCESS ||
        info.length > LONGUINT64(kMaxObjectBytes)) {
        return std::nullopt;
    }
    QByteArray bytes(qsizetype(info.length), Qt::Uninitialized);
    if (bytes.isEmpty()) {
        return bytes;
    }
    const LONGINT64 n = chm_retrieve_object(m_chm, &info,
                                            reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                            LONGINT64(bytes.size()));
    if (n != LONGINT64(bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace gv
