// The library allocator and the host hooks it draws memory from.
//
// Every block the library allocates is 32-byte aligned and comes from the
// host's allocate hook, over-allocated by 36 bytes. The 32-bit word just below
// the aligned block holds its distance (4..35 bytes) back to the raw block the
// hook returned, so sigFree can hand the raw block to the free hook.
#pragma once

#include "sigproc/sigproc_host.h"

// A 32-byte aligned block of `bytes` bytes, or null (bytes <= 0, or the hook failed).
void* sigMalloc_8u(int bytes);

// Members of the allocator groups (the same member in all six slots).
float* sigMalloc_32f_generic(int len);
void sigFree_generic(void* ptr);
