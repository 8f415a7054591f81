#include "images/MemoryBudget.h"

#include <unistd.h>

#include <utility>

namespace gv {

MemoryBudget::Reservation::Reservation(Reservation&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(std::exchange(other.m_bytes, 0)) {}

MemoryBudget::Reservation& MemoryBudget::Reservation::operator=(Reservation&& other) noexcept {
    if (this != &other) {
        release();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

void MemoryBudget::Reservation::shrinkTo(qint64 bytes) {
    if (m_budget && bytes >= 0 && bytes < m_bytes) {
        m_budget->giveBack(m_bytes - bytes);
        m_bytes = bytes;
    }
}

void MemoryBudget::Reservation::release() {
    if (m_budget) {
        m_budget->giveBack(m_bytes);
    }
    m_budget = nullptr;
    m_bytes = 0;
}

MemoryBudget& MemoryBudget::program() {
    static MemoryBudget budget([] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGE_SIZE);
        if (pages <= 0 || pageSize <= 0) {
            return qint64(1024) * 1024 * 1024;  // unknown machine: a budget any desktop has
        }
        return qint64(pages) * pageSize / 4;
    }());
    return budget;
}

std::optional<MemoryBudget::Reservation> MemoryBudget::reserve(qint64 bytes) {
    if (bytes < 0) {
        return std::nullopt;
    }
    qint64 used = m_inUse.load();
    do {
        // Compared by subtraction, so that a request near the type's range cannot overflow.
        if (bytes > m_limit.load() - used) {
            return std::nullopt;
        }
    } while (!m_inUse.compare_exchange_weak(used, used + bytes));
    return Reservation(this, bytes);
}

}  // namespace gv
