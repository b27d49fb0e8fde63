#include "platform/memorytrim.h"

#include <cstdlib> // tells __GLIBC__

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vantora {

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace vantora
