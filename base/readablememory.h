// Memory at an address that came in a message: any process may send one, so
// the address may point anywhere in this process, or nowhere.
#ifndef VELKOR_BASE_READABLEMEMORY_H
#define VELKOR_BASE_READABLEMEMORY_H

#include <windows.h>
#include <stddef.h>

// How many bytes from address on, up to limit, can be read without a fault.
size_t ReadableBytes(const void *address, size_t limit);

#endif
