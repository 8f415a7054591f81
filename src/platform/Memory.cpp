#include "platform/Memory.h"

#include <malloc.h>

namespace gv {

void returnFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

}  // namespace gv
