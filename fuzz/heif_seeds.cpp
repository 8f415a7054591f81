// Writes the seed corpus of the HEIF fuzzer: lossy, lossless, with a thumbnail.

#include "PhotoSeeds.h"

int main(int argc, char** argv) {
    return gvfuzz::writePhotoSeeds(
        argc, argv,
        {{"lossy.heic", {"heif-enc", "-q", "40", "IN", "-o", "OUT"}},
         {"lossless.heic", {"heif-enc", "-L", "-p", "chroma=444", "IN", "-o", "OUT"}},
         {"thumb.heic", {"heif-enc", "-q", "40", "-t", "8", "IN", "-o", "OUT"}}});
}
