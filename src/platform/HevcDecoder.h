#pragma once
// HEVC pictures of HEIF files decoded by libde265 on several threads. libheif's own use of
// libde265 decodes on one; ours is registered with libheif ahead of it, so that a phone's photo
// (one coded picture, or each tile of a grid) decodes with both cores of a desktop.

#include <QtGlobal>
#include <cstddef>

namespace gv {

// Registers the decoder with libheif once per process; later calls do nothing.
void registerHevcDecoder();

// The number of threads libde265 decodes one picture with.
int hevcDecodingThreads();

// The largest coded picture the decodes that follow may make, in luma samples (0: any). A
// stream whose sequence parameters declare a larger one is refused before libde265 allocates
// its pictures, and hevcPictureRefused() says so until the next limit is set. One decode at a
// time per process, as the decoding helper runs them.
void setHevcPictureLimit(qint64 samples);
bool hevcPictureRefused();

// The picture size a sequence parameter set (one NAL unit, its two-byte header first)
// declares; false when it cannot be read (libde265 then judges the stream itself).
bool hevcPictureSize(const unsigned char* nal, std::size_t size, quint32* width,
                     quint32* height);

}  // namespace gv
