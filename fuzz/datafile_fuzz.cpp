// libFuzzer target for the menu data-file reader: any bytes give at most the item limit of
// items, none with exactly one blank side, and what is read is written and read back unchanged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "external/DataFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const gv::DataFileContent content = gv::parseDataFile(bytes);
    if (content.entries.size() > gv::kMaxMenuItems) {
        std::abort();
    }
    // Blank means spaces only, as the reader counts it; a line blank on both sides is an item.
    const auto blank = [](const QString& s) {
        return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' '; });
    };
    for (const gv::MenuEntry& e : content.entries) {
        if (blank(e.name) != blank(e.target)) {
            std::abort();
        }
    }
    const gv::DataFileContent again = gv::parseDataFile(gv::formatDataFile(content.entries));
    if (again.error != 0 || again.entries != content.entries) {
        std::abort();
    }
    return 0;
}
