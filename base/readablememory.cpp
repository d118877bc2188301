// Readable memory at an untrusted address.
#include "base/readablememory.h"

// True when the whole region described by info can be read without a fault
// (a guard page would fault once and lose its guard for the thread that owns it).
static bool ReadableRegion(const MEMORY_BASIC_INFORMATION &info)
{
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && !(info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) && (info.Protect & readable);
}

size_t ReadableBytes(const void *address, size_t limit)
{
    const char *start = (const char *)address;
    size_t n = 0;
    while (n < limit) {
        MEMORY_BASIC_INFORMATION info;
        if (!VirtualQuery(start + n, &info, sizeof info) || !ReadableRegion(info))
            break;
        size_t rest = (size_t)((const char *)info.BaseAddress + info.RegionSize - (start + n));
        n = rest < limit - n ? n + rest : limit;
    }
    return n;
}
