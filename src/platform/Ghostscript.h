#pragma once
// Renders PostScript through the Ghostscript program, for EPS files that carry no preview.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

namespace gv {

// Whether a "gs" program is on the search path.
bool ghostscriptAvailable();

// Renders an EPS file's bytes cropped to their bounding box at the given resolution.
// Ghostscript reads a private copy (never the user's path, which another program may change
// and whose name need not be text), runs with -dSAFER and is stopped after timeoutMs.
// allocationLimitMb bounds the decoded result.
std::optional<QImage> renderEpsWithGhostscript(const QByteArray& eps, int dpi, int timeoutMs,
                                               int allocationLimitMb, QString* error);

}  // namespace gv
