#pragma once
// What the desktop is set to use.

#include <QString>

namespace gv {

// The desktop entry of the default web browser ("firefox.desktop"): what xdg-settings says,
// else the first mimeapps.list default for http or HTML pages; "" when none is set.
QString defaultWebBrowserEntry();

}  // namespace gv
