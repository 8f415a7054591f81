// The two record players. Parsing checks the headers and walks every record once so that
// playing never meets a record that runs past the end of the file.

#pragma once

#include <QString>

#include <optional>

#include "images/metafile/ByteReader.h"
#include "images/metafile/Layout.h"

namespace gv::metafile {

class Canvas;

std::optional<Layout> parseWmf(const ByteReader& file, QString* error);
void playWmf(const ByteReader& file, const Layout& layout, Canvas& canvas);

std::optional<Layout> parseEmf(const ByteReader& file, QString* error);
void playEmf(const ByteReader& file, const Layout& layout, Canvas& canvas);

// Whether a ternary raster operation reads the source bitmap at all.
bool ropUsesSource(quint32 rop);

// Text in a metafile's 8-bit character sets, as Windows code page 1252.
QString decodeAnsi(const ByteReader& bytes, qint64 offset, qint64 count);

}  // namespace gv::metafile
