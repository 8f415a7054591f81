#pragma once
// The one memory budget of the whole program. Whatever a decode is about to allocate (the
// raster in its real pixel format, the decoder's working memory, copies, images inside
// metafiles) is reserved here first and given back when that memory is freed, so the window's
// picture, the pictures decoded ahead and a decode in progress together never pass the limit.

#include <QtGlobal>
#include <atomic>
#include <optional>

namespace gv {

class MemoryBudget final {
public:
    // Bytes taken from a budget until destroyed (or released); move-only.
    class Reservation final {
    public:
        Reservation() = default;
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;
        ~Reservation() { release(); }

        qint64 bytes() const { return m_bytes; }
        // Gives back what is reserved beyond `bytes` (working memory freed once a decode ends).
        void shrinkTo(qint64 bytes);
        void release();

    private:
        friend class MemoryBudget;
        Reservation(MemoryBudget* budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}
        MemoryBudget* m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    explicit MemoryBudget(qint64 limit) : m_limit(limit) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // The program's budget: a quarter of the machine's physical memory.
    static MemoryBudget& program();

    qint64 limit() const { return m_limit.load(); }
    void setLimit(qint64 limit) { m_limit.store(limit); }
    qint64 inUse() const { return m_inUse.load(); }

    // The bytes, or nothing when they would take what is reserved past the limit. Safe from
    // any thread. A negative or absurd request is refused.
    std::optional<Reservation> reserve(qint64 bytes);

private:
    void giveBack(qint64 bytes) { m_inUse.fetch_sub(bytes); }

    std::atomic<qint64> m_limit;
    std::atomic<qint64> m_inUse = 0;
};

}  // namespace gv
