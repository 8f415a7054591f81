#pragma once
// Opening a document or web address with the program the desktop has for it (xdg-open).

#include <QString>

namespace gv {

// True when the desktop took the address.
bool openDocument(const QString& address);

}  // namespace gv
