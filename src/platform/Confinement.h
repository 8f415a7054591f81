#pragma once
// The confinement of one job's process in the decoding helper (see Sandbox.h): resource
// limits, then Landlock for the file system, then a seccomp filter for everything else. Each
// layer is applied where the kernel offers it; what a layer cannot do on an older kernel the
// others still do.

#include <sys/types.h>
#include <QString>
#include <vector>

namespace gv {

struct SandboxLimits;

class Confinement final {
public:
    // Made once, in the helper's long-lived process: opens (as paths only) the system folders
    // and files a job may read: installed software, fonts, font caches, Ghostscript's files.
    static Confinement prepare();
    Confinement() = default;
    Confinement(Confinement&& other) noexcept;
    Confinement& operator=(Confinement&& other) noexcept;
    Confinement(const Confinement&) = delete;
    Confinement& operator=(const Confinement&) = delete;
    ~Confinement();

    // In the job's process, after it has what it needs and before it reads untrusted bytes:
    // limits, then Landlock (reading the prepared places, reading and writing the private
    // folder only), then seccomp. False, with *why, when a layer the kernel offers failed; the
    // job must then not run. Closes the prepared descriptors.
    bool apply(const SandboxLimits& limits, int privateFolder, QString* why);

    // The Landlock version this kernel offers, 0 for none.
    static int landlockAbi();
    static bool seccompAvailable();

private:
    std::vector<int> m_readable;  // O_PATH descriptors
    std::vector<int> m_runnable;  // O_PATH descriptors of folders with programs
};

}  // namespace gv
