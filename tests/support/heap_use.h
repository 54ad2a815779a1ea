// Bytes the test process holds on the heap, for tests that check memory stays flat over long runs.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the AddressSanitizer runtime (sanitizer/allocator_interface.h, which GCC does not install).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace tessaro::test {

// ASan's own count under ASan: its quarantine keeps freed blocks resident, so the process RSS
// would grow although nothing leaks.
inline size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

} // namespace tessaro::test
