#pragma once
// Opening a document or web address with the program the desktop has for it (xdg-open).

#include <QString>

namespace gv {

// True when the desktop took the address.
bool openDocument(const QString& address);
// A local file, by the program the desktop has for its type (a text viewer for a ".txt").
// True when the desktop took it.
bool openLocalFile(const QString& path);
// A web site: only http, https and ftp addresses are handed over (an address stored without a
// scheme is taken as http); anything else a list could hold, such as a file or a desktop
// entry to run, is refused. True when the desktop took it.
bool openWebAddress(const QString& address);

}  // namespace gv
