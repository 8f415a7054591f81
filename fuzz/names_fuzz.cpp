// libFuzzer target for the file-name codec that carries a hand-over's command line and every
// name read from a folder: any bytes come back byte for byte, through the settings' stored form
// too, and a name shown to the user holds no raw byte.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/FileNameBytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString name = gv::fileNameFromBytes(bytes);
    const QByteArray back = gv::fileNameToBytes(name);
    if (std::string_view(back.constData(), static_cast<size_t>(back.size())) != bytes) {
        std::abort();
    }
    if (gv::textFromStorage(gv::textForStorage(name)) != name) {
        std::abort();
    }
    if (gv::holdsRawBytes(gv::fileNameForDisplay(name))) {
        std::abort();
    }
    return 0;
}
