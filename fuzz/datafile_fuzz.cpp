// libFuzzer target for the menu data-file reader: any bytes give at most the item limit of
// items with both sides filled, and what is read is written and read back unchanged.

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
    // Blank means spaces and tabs only, as the reader counts it.
    const auto blank = [](const QString& s) {
        return s.isEmpty() ||
               std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
    };
    for (const gv::MenuEntry& e : content.entries) {
        if (blank(e.name) || blank(e.target)) {
            std::abort();
        }
    }
    const gv::DataFileContent again = gv::parseDataFile(gv::formatDataFile(content.entries));
    if (again.error != 0 || again.entries != content.entries) {
        std::abort();
    }
    return 0;
}
