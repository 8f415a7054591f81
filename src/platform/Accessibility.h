#pragma once
// Reading another program's text fields through the accessibility bus (AT-SPI), as assistive
// tools read them.

#include <QString>

namespace gv {

// The text of the first non-empty entry field inside the window of the process whose
// accessible frame has the window's title (depth first, in the order the program lists
// them); empty when accessibility is off, the program exposes no such field, or it does not
// answer in time.
QString accessibleEntryText(qint64 pid, const QString& windowTitle);

}  // namespace gv
