// libFuzzer target for the HEIF reading of the photo formats' module.

#include "PhotoFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return gvfuzz::readPhoto(data, size, gv::PhotoFormat::Heif);
}
