#pragma once
// The program's own table of named atoms, which identify its hot-key registrations: adding a
// name gives its 16-bit id (the same id, counted once more, for a name already there), and
// each deletion takes one count back; the id is free again at zero.

#include <QHash>
#include <QString>

namespace gv {

class AtomTable final {
public:
    static constexpr int kFirstId = 0xC000;
    static constexpr int kLastId = 0xFFFF;
    static constexpr int kMaxNameLength = 255;

    // 0 when the name is empty or too long, or the table is full.
    int add(const QString& name);
    // False when no atom has the id.
    bool remove(int id);
    int count() const { return static_cast<int>(m_entries.size()); }
    QString nameOf(int id) const;

private:
    struct Entry {
        QString name;
        int references = 0;
    };
    QHash<int, Entry> m_entries;
    int m_next = kFirstId;
};

// The table every hot-key object of the program shares.
AtomTable& programAtoms();

}  // namespace gv
