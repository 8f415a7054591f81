// Writes the seed corpus of the WebP fuzzer: lossy, lossless, with alpha and an animation.

#include "PhotoSeeds.h"

int main(int argc, char** argv) {
    return gvfuzz::writePhotoSeeds(
        argc, argv,
        {{"lossy.webp", {"cwebp", "-quiet", "-q", "50", "IN", "-o", "OUT"}},
         {"lossless.webp", {"cwebp", "-quiet", "-lossless", "IN", "-o", "OUT"}},
         {"noalpha.webp", {"cwebp", "-quiet", "-noalpha", "IN", "-o", "OUT"}},
         {"anim.webp", {"img2webp", "-loop", "2", "-d", "40", "IN", "-lossy", "-d", "70", "IN",
                        "-o", "OUT"}}});
}
