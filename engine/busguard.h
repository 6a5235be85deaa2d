#pragma once

#include <cstddef>

// Turns a SIGBUS that this thread's own access to one of its mapped windows raises (the file
// shrank under the mapping, the disk could not read a page) into a return value. The handler
// is installed once per process, knows each thread's guarded ranges, and hands every other
// SIGBUS to the handler that was there before it.
class CBusGuard {
public:
    // Whether the handler is in force, installing it the first time: false when it cannot be,
    // or when another has taken its place since. Asked before mapping, as nothing guards a
    // mapping then.
    static bool Ready();
    // Runs pfnWork(pContext). True when it ran to its end; false when a SIGBUS in a guarded
    // range cut it short: whatever the work was doing must then be done again without the
    // mappings. The work must not leave frames that need unwinding (no destructors), as a fault
    // leaves them by a jump; not nested.
    static bool Run(void (*pfnWork)(void*), void* pContext);
    // Guards bytes [pFirst, pFirst + nBytes) on the calling thread; false when its few slots are
    // taken. Uncover stops guarding the range that starts at pFirst.
    static bool Cover(const void* pFirst, size_t nBytes);
    static void Uncover(const void* pFirst);
};
