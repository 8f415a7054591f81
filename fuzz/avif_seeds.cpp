// Writes the seed corpus of the AVIF fuzzer: lossy, lossless, turned and mirrored.

#include "PhotoSeeds.h"

int main(int argc, char** argv) {
    return gvfuzz::writePhotoSeeds(
        argc, argv,
        {{"lossy.avif", {"avifenc", "-s", "10", "IN", "OUT"}},
         {"lossless.avif", {"avifenc", "-s", "10", "-l", "IN", "OUT"}},
         {"turned.avif", {"avifenc", "-s", "10", "--irot", "1", "--imir", "0", "IN", "OUT"}},
         {"yuv420.avif", {"avifenc", "-s", "10", "-y", "420", "-d", "10", "IN", "OUT"}}});
}
