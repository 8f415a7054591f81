#pragma once
// The program's memory as the system sees it.

namespace gv {

// Gives the memory the program has freed back to the system, where the allocator kept it for
// reuse (a large picture just replaced by another of its size, which would otherwise keep
// both resident).
void returnFreedMemory();

}  // namespace gv
