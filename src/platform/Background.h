#pragma once
// Work the user is not waiting for (decoding the next images ahead) runs behind everything
// else: the calling thread gets a lower CPU priority and the lowest best-effort disk priority.
// On Linux each thread has its own nice value, so this leaves the rest of the program alone.
// The change cannot be undone without privileges; call it on threads that only do such work.

namespace gv {

// How much lower than the program's own the background CPU priority is, in nice steps.
inline constexpr int kBackgroundNiceSteps = 10;

// Lowers the calling thread's priorities once; later calls on the same thread do nothing.
// Returns false when the system refused (the thread then keeps working at normal priority).
bool enterBackgroundPriority();

// The calling thread's nice value.
int currentThreadNice();

}  // namespace gv
