// Readable memory, asked of the system region by region, so that an address
// from outside is never touched before it is known to be readable.
#include "base/readablememory.h"

#include <windows.h>
#include <stdint.h>

// True when the whole region described by info can be read without a fault
// (a guard page would fault once and lose its guard for the thread that owns it).
static bool ReadableRegion(const MEMORY_BASIC_INFORMATION &info)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && !(info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) && (info.Protect & readable);
}

size_t ReadableLength(const void *address, size_t limit)
{
    uintptr_t start = (uintptr_t)address;
    // The range ends at the top of the address space at the latest.
    if (limit > UINTPTR_MAX - start)
        limit = UINTPTR_MAX - start;
    size_t length = 0;
    while (length < limit) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery((const void *)(start + length), &info, sizeof info) || !ReadableRegion(info))
            break;
        uintptr_t regionEnd = (uintptr_t)info.BaseAddress + info.RegionSize;
        if (regionEnd <= start + length)
            break; // the last region of the address space
        length = regionEnd - start;
    }
    return length < limit ? length : limit;
}
