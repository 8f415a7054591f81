#pragma once
// Opening a document or web address with the program the desktop has for it (xdg-open).

#include <QString>

namespace gv {

// True when the desktop took the address.
bool openDocument(const QString& address);

enum class OpenOutcome { Opened, NotOpened, RunsProgram };
// An address from the user's lists (web sites, mostly): handed to the desktop whatever its
// scheme (mailto:, ftp:, a file, ...); one stored without a scheme is a web address (http),
// one that begins with "/" a file. An address that names a program on this computer (an
// executable file, a desktop entry, a script) is never handed over: the desktop would run it.
OpenOutcome openListedAddress(const QString& address);
// Whether the address names such a program.
bool addressRunsProgram(const QString& address);
// A local file, by the program the desktop has for its type (a text viewer for a ".txt").
// True when the desktop took it.
bool openLocalFile(const QString& path);

}  // namespace gv
