#pragma once
// Formats that no well-fuzzed library reads (our own BMP, icon, Targa, PCX and PICT readers,
// libtiff, EPS previews and Ghostscript) are decoded in the confined helper (platform/Sandbox.h),
// so that a decoder that crashes, loops or runs out of memory costs one picture, never the
// window. The helper hands the raster back in sealed shared memory, shown in place.

#include <QByteArray>
#include <QString>

#include "images/Decoder.h"
#include "images/ImageTypeCatalogue.h"
#include "platform/Sandbox.h"

namespace gv {

bool decodesInHelper(ImageDecoder decoder);

// The program's side: the file's bytes, read here, go to a new job of the helper. A job that
// ends without an answer (crashed, stopped by its limits) is an invalid picture; a helper that
// is missing is a missing module of the program.
DecodeResult decodeInHelper(const QString& path, const TypeKeyInfo& info,
                            const DecodeRequest& request, double dpi);

// The helper's side: decodes the job's bytes with the in-process decoders.
SandboxHandler imageDecodingHandler();
// The answer that reports a failure (for helpers that answer some jobs themselves).
QByteArray decodingFailureAnswer(int number, const QString& description);

// The processor time a decode may use; tests make it short. 0 restores the normal limit.
void setDecodeCpuSeconds(int seconds);

}  // namespace gv
