#include "capture/AtomTable.h"

namespace gv {

int AtomTable::add(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxNameLength) {
        return 0;
    }
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        // Atom names are found without regard to case.
        if (it->name.compare(name, Qt::CaseInsensitive) == 0) {
            ++it->references;
            return it.key();
        }
    }
    constexpr int kIds = kLastId - kFirstId + 1;
    if (m_entries.size() >= kIds) {
        return 0;
    }
    while (m_entries.contains(m_next)) {
        m_next = m_next == kLastId ? kFirstId : m_next + 1;
    }
    const int id = m_next;
    m_entries.insert(id, Entry{name, 1});
    m_next = m_next == kLastId ? kFirstId : m_next + 1;
    return id;
}

bool AtomTable::remove(int id) {
    const auto it = m_entries.find(id);
    if (it == m_entries.end()) {
        return false;
    }
    if (--it->references == 0) {
        m_entries.erase(it);
    }
    return true;
}

QString AtomTable::nameOf(int id) const {
    return m_entries.value(id).name;
}

AtomTable& programAtoms() {
    static AtomTable table;
    return table;
}

}  // namespace gv
