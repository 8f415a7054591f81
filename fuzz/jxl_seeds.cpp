// Writes the seed corpus of the JPEG XL fuzzer: lossy, lossless, and a fast modular one.

#include "PhotoSeeds.h"

int main(int argc, char** argv) {
    return gvfuzz::writePhotoSeeds(
        argc, argv,
        {{"lossy.jxl", {"cjxl", "-d", "2", "IN", "OUT"}},
         {"lossless.jxl", {"cjxl", "-d", "0", "IN", "OUT"}},
         {"fast.jxl", {"cjxl", "-d", "1", "-e", "1", "IN", "OUT"}}});
}
