#include "platform/FontConfig.h"

#include <fontconfig/fontconfig.h>

namespace gv {

FontConfigReader::FontConfigReader() : m_thread([] { FcInit(); }) {}

FontConfigReader::~FontConfigReader() {
    wait();
}

void FontConfigReader::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

}  // namespace gv
