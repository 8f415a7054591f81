#pragma once
// A small file system of a test's own (tmpfs): another volume, a full or read-only disk, a
// disk plugged in and taken out. Mounting needs the right to mount (root here).

#include <string>

namespace gvtest {

class Tmpfs final {
public:
    // Makes the folder and mounts there with the options ("size=1m") and flags.
    explicit Tmpfs(std::string dir, std::string options = "size=1m", unsigned long flags = 0);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool mount();
    bool unmount();
    bool mounted() const { return m_mounted; }
    const std::string& dir() const { return m_dir; }
    // Why the last mount failed, and whether nothing can be mounted here at all (no right,
    // no tmpfs) rather than a fault of the test.
    const std::string& why() const { return m_why; }
    bool impossibleHere() const { return m_impossible; }

private:
    std::string m_dir, m_options;
    unsigned long m_flags;
    bool m_mounted = false, m_impossible = false;
    std::string m_why;
};

}  // namespace gvtest

// Ends the test where the tmpfs is not mounted: skipped where nothing can be mounted, failed
// with the reason otherwise, never passed silently.
#define GV_REQUIRE_TMPFS(fs)                                           \
    do {                                                               \
        if (!(fs).mounted()) {                                         \
            if ((fs).impossibleHere()) {                               \
                GTEST_SKIP() << "cannot mount here: " << (fs).why();   \
            }                                                          \
            FAIL() << "tmpfs at " << (fs).dir() << ": " << (fs).why(); \
        }                                                              \
    } while (false)
