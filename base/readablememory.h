// Memory that a message from another program points at: how much of it this
// process can read without a fault.
#ifndef VELKOR_BASE_READABLEMEMORY_H
#define VELKOR_BASE_READABLEMEMORY_H

#include <stddef.h>

// How many of the limit bytes from address can be read (committed, readable, no guard page), up to the first that cannot.
size_t ReadableLength(const void *address, size_t limit);

#endif
