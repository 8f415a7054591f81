#include "support/Tmpfs.h"

#include <sys/mount.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace gvtest {

Tmpfs::Tmpfs(std::string dir, std::string options, unsigned long flags)
    : m_dir(std::move(dir)), m_options(std::move(options)), m_flags(flags) {
    mount();
}

Tmpfs::~Tmpfs() {
    if (m_mounted) {
        ::umount2(m_dir.c_str(), MNT_DETACH);
    }
}

bool Tmpfs::mount() {
    std::error_code made;
    std::filesystem::create_directories(m_dir, made);
    if (::mount("tmpfs", m_dir.c_str(), "tmpfs", m_flags, m_options.c_str()) == 0) {
        m_mounted = true;
        m_why.clear();
        return true;
    }
    const int error = errno;
    // No right to mount, or no tmpfs in this kernel: nothing can be mounted here at all.
    m_impossible = error == EPERM || error == ENODEV || error == ENOSYS;
    m_why = std::string("mount: ") + std::strerror(error);
    return false;
}

bool Tmpfs::unmount() {
    if (m_mounted && ::umount2(m_dir.c_str(), 0) == 0) {
        m_mounted = false;
    }
    return !m_mounted;
}

}  // namespace gvtest
