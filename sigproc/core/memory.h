// The library allocator and the host hooks it draws memory from.
//
// Every block the library allocates is 32-byte aligned and comes from the
// host's allocate hook, over-allocated by 36 bytes. The 32-bit word just below
// the aligned block holds its distance (4..35 bytes) back to the raw block the
// hook returned, so sigFree can hand the raw block to the free hook.
#pragma once

#include <cstdint>

// The host's side of the allocator, in this order. Only allocate and release
// are called by the library.
struct sigMemoryHooks {
    void* (*allocate)(std::uint32_t bytes);
    void* (*allocateArray)(std::uint32_t count, std::uint32_t size);
    int (*reserved)(void*, std::uint32_t);
    void (*release)(void* raw);
};

// The hooks in force. By default they take memory from the C++ heap; a host
// (the driver, a test) installs its own. Returns the hooks that were in force.
const sigMemoryHooks* sigSetMemoryHooks(const sigMemoryHooks* hooks);
const sigMemoryHooks& sigCurrentMemoryHooks();

// Bytes the library adds to every request: 4 for the distance word, 31 for alignment slack.
inline constexpr std::uint32_t sigBlockOverhead = 36;
inline constexpr std::uintptr_t sigBlockAlignment = 32;

// A 32-byte aligned block of `bytes` bytes, or null (bytes <= 0, or the hook failed).
void* sigMalloc_8u(int bytes);

// Members of the allocator groups (the same member in all six slots).
float* sigMalloc_32f_generic(int len);
void sigFree_generic(void* ptr);
