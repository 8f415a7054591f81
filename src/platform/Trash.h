#pragma once
// The desktop's Trash (as the freedesktop.org Trash standard lays it down): a file or folder put there keeps
// its original path and deletion date in a .trashinfo file, so the desktop's file manager can
// restore it. Names are the bytes the file system stores.

#include <sys/types.h>
#include <map>
#include <string>

namespace gv {

class Trash final {
public:
    // Moves the entry to the trash of its own volume (the home trash when it lies on the home
    // folder's volume). Returns 0, or the errno that kept it where it was.
    int put(const std::string& path);

private:
    struct Can {
        std::string files;  // ".../files"
        std::string info;   // ".../info"
        std::string top;    // the volume's top folder, for relative Path= entries; "" = home
        int error = 0;      // why this volume has no usable trash
    };
    const Can& canFor(dev_t device, const std::string& path);
    std::map<dev_t, Can> m_cans;
};

}  // namespace gv
