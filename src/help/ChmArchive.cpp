#include "help/ChmArchive.h"

#include <chm_lib.h>
#include <sys/mman.h>
#include <unistd.h>
#include <QtEndian>
#include <cerrno>
#include <string>

#include "platform/FileAccess.h"

namespace gv {
namespace {

int collectEntry(chmFile*, chmUnitInfo* info, void* context) {
    auto* entries = static_cast<QList<ChmArchive::Entry>*>(context);
    if (entries->size() >= ChmArchive::kMaxEntries) {
        return CHM_ENUMERATOR_SUCCESS;
    }
    const QByteArray path(info->path);
    if (!path.isEmpty() && !path.endsWith('/')) {
        entries->append({path,
                         qint64(info->length > LONGUINT64(INT64_MAX) ? INT64_MAX : info->length),
                         info->start, info->space == CHM_COMPRESSED});
    }
    return CHM_ENUMERATOR_CONTINUE;
}

// The file header and the directory header, from which CHMLib sizes its directory pages: a
// container whose directory does not lie within the file, or whose pages are of a size no
// compiler writes, is not handed to it.
bool headersAreSane(const QByteArray& bytes) {
    const auto u32 = [&bytes](qsizetype at) {
        return qFromLittleEndian<quint32>(bytes.constData() + at);
    };
    const auto u64 = [&bytes](qsizetype at) {
        return qFromLittleEndian<quint64>(bytes.constData() + at);
    };
    const quint64 size = quint64(bytes.size());
    if (size < 0x60 || !bytes.startsWith("ITSF")) {
        return false;
    }
    const quint32 version = u32(4);
    const quint64 directory = u64(72);
    const quint64 directoryLength = u64(80);
    if ((version != 2 && version != 3) || directory > size || directoryLength > size - directory ||
        directoryLength < 0x54) {
        return false;
    }
    if (version == 3 && u64(88) > size) {
        return false;
    }
    const qsizetype d = qsizetype(directory);
    if (bytes.mid(d, 4) != "ITSP") {
        return false;
    }
    const quint32 pageLength = u32(d + 16);
    const qint32 indexRoot = qint32(u32(d + 28));
    const qint32 indexHead = qint32(u32(d + 32));
    const quint32 pages = u32(d + 44);
    const quint32 headerLength = u32(d + 8);
    // Directory pages are 4 KiB as written; anything from 512 bytes to 64 KiB is let through.
    if (pageLength < 512 || pageLength > 65536 || headerLength > directoryLength ||
        quint64(pages) * pageLength > directoryLength - headerLength) {
        return false;
    }
    const auto page = [pages](qint32 n) { return n == -1 || (n >= 0 && quint32(n) < pages); };
    return page(indexRoot) && page(indexHead);
}

}  // namespace

ChmArchive::ChmArchive(const QByteArray& bytes) {
    if (!headersAreSane(bytes)) {
        return;
    }
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
    chm_enumerate(m_chm, CHM_ENUMERATE_ALL & ~CHM_ENUMERATE_DIRS, collectEntry, &m_entries);
    if (!compressionIsSane(bytes.size())) {
        chm_close(m_chm);
        m_chm = nullptr;
        m_entries.clear();
    }
}

bool ChmArchive::compressionIsSane(qint64 fileSize) const {
    bool anyCompressed = false;
    for (const Entry& e : m_entries) {
        anyCompressed = anyCompressed || e.compressed;
    }
    if (!anyCompressed) {
        return true;
    }
    // Both records lie in the uncompressed part, which CHMLib reads as it is.
    const std::optional<QByteArray> reset = read(
        "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
        "InstanceData/ResetTable");
    const std::optional<QByteArray> control = read("::DataSpace/Storage/MSCompressed/ControlData");
    if (!reset || reset->size() < 40 || !control || control->size() < 28 ||
        control->mid(4, 4) != "LZXC") {
        return false;
    }
    const char* r = reset->constData();
    const quint32 blockCount = qFromLittleEndian<quint32>(r + 4);
    const quint32 tableOffset = qFromLittleEndian<quint32>(r + 12);
    const quint64 unpacked = qFromLittleEndian<quint64>(r + 16);
    const quint64 packed = qFromLittleEndian<quint64>(r + 24);
    const quint64 blockLength = qFromLittleEndian<quint64>(r + 32);
    // LZX works in blocks of 32 KiB; the table of block starts must lie in the record.
    constexpr quint64 kBlock = 0x8000;
    if (blockLength != kBlock || unpacked > kMaxUnpackedBytes || packed > quint64(fileSize) ||
        tableOffset < 40 ||
        quint64(tableOffset) + quint64(blockCount) * 8 > quint64(reset->size()) ||
        blockCount < (unpacked + kBlock - 1) / kBlock) {
        return false;
    }
    const char* c = control->constData();
    const quint32 version = qFromLittleEndian<quint32>(c + 8);
    quint64 resetInterval = qFromLittleEndian<quint32>(c + 12);
    quint64 window = qFromLittleEndian<quint32>(c + 16);
    const quint32 windowsPerReset = qFromLittleEndian<quint32>(c + 20);
    if (version == 2) {
        resetInterval *= kBlock;
        window *= kBlock;
    } else if (version != 1) {
        return false;
    }
    // Windows of 2^15 to 2^21 bytes are all LZX knows; a reset interval is whole half-windows
    // and blocks, and the blocks read again after a reset are few.
    const bool windowOk =
        window >= (1u << 15) && window <= (1u << 21) && (window & (window - 1)) == 0;
    if (!windowOk || resetInterval == 0 || resetInterval % kBlock != 0 ||
        resetInterval % (window / 2) != 0 || windowsPerReset == 0 ||
        resetInterval / (window / 2) * windowsPerReset > 1024) {
        return false;
    }
    for (const Entry& e : m_entries) {
        const quint64 end = e.start + quint64(e.length);
        if (end < e.start || (e.compressed ? end > unpacked : end > quint64(fileSize))) {
            return false;
        }
    }
    return true;
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
    const LONGINT64 n = chm_retrieve_object(
        m_chm, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0, LONGINT64(bytes.size()));
    if (n != LONGINT64(bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace gv
