#pragma once

namespace vantora {

// Hands the memory freed inside the heap back to the system. After many small blocks are freed (a grid's
// thumbnails) the allocator keeps their pages, and the program would stay as big as it ever was.
void releaseFreedMemory();

} // namespace vantora
