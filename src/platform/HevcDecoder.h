#pragma once
// HEVC pictures of HEIF files decoded by libde265 on several threads. libheif's own use of
// libde265 decodes on one; ours is registered with libheif ahead of it, so that a phone's photo
// (one coded picture, or each tile of a grid) decodes with both cores of a desktop.

namespace gv {

// Registers the decoder with libheif once per process; later calls do nothing.
void registerHevcDecoder();

// The number of threads libde265 decodes one picture with.
int hevcDecodingThreads();

}  // namespace gv
