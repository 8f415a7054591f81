#pragma once
// The container of a compiled help file, read with CHMLib from bytes already in memory: the
// file is read once, through one descriptor and within a size limit, so nothing that another
// process does to it afterwards can change what the help shows.

#include <QByteArray>
#include <QList>
#include <optional>

struct chmFile;

namespace gv {

class ChmArchive final {
public:
    // Objects larger than this are not read (the help's biggest picture is a few kilobytes).
    static constexpr qint64 kMaxObjectBytes = 8 * 1024 * 1024;
    // More names than any help file of ours holds; a directory that claims more is damaged.
    static constexpr int kMaxEntries = 20000;

    struct Entry {
        QByteArray path;  // as the container spells it: "/index.htm", "/#SYSTEM"
        qint64 length = 0;
        quint64 start = 0;
        bool compressed = false;
    };
    // What the whole compressed part may unpack to.
    static constexpr quint64 kMaxUnpackedBytes = 128 * 1024 * 1024;

    // False from ok() when the bytes are no container CHMLib can open.
    explicit ChmArchive(const QByteArray& bytes);
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    bool ok() const { return m_chm != nullptr; }
    // The files of the container (names, no directories), in the container's order; at most
    // kMaxEntries.
    const QList<Entry>& entries() const { return m_entries; }
    // The whole of one object, found without regard to case; nothing when it is missing, larger
    // than kMaxObjectBytes or cannot be read whole.
    std::optional<QByteArray> read(const QByteArray& path) const;

private:
    // CHMLib takes the sizes of its buffers and the work of each read from the container's
    // description of its compressed part: that description is checked first.
    bool compressionIsSane(qint64 fileSize) const;

    int m_fd = -1;
    chmFile* m_chm = nullptr;
    QList<Entry> m_entries;
};

}  // namespace gv
