#pragma once
// Starts the sibling update program with the argument word of a mode.

namespace gv {

// Mode 1 "links", 2 "gvupdate", 3 "submitweb", any other: no argument.
void LaunchUpdater(int mode);

}  // namespace gv
