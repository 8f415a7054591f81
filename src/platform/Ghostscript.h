#pragma once
// Renders PostScript through the Ghostscript program, for EPS files that carry no preview.

#include <QImage>
#include <QString>
#include <optional>

namespace gv {

// Whether a "gs" program is on the search path.
bool ghostscriptAvailable();

// Renders the EPS file cropped to its bounding box at the given resolution. Ghostscript runs
// with -dSAFER and is stopped after timeoutMs. allocationLimitMb bounds the decoded result.
std::optional<QImage> renderEpsWithGhostscript(const QString& path, int dpi, int timeoutMs,
                                               int allocationLimitMb, QString* error);

}  // namespace gv
