// The host's side of the signal primitives: where the library draws its memory.
//
// Every block the library allocates comes from the host's allocate hook,
// over-allocated by sigBlockOverhead bytes for alignment and the word that
// finds the raw block again; the host's release hook takes the raw block back.
// A host (the driver, a test) installs its hooks before it calls the library.
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

// The hooks in force. By default they take memory from the C++ heap. Returns
// the hooks that were in force.
const sigMemoryHooks* sigSetMemoryHooks(const sigMemoryHooks* hooks);
const sigMemoryHooks& sigCurrentMemoryHooks();

// Bytes the library adds to every request: 4 for the distance word, 31 for alignment slack.
inline constexpr std::uint32_t sigBlockOverhead = 36;
inline constexpr std::uintptr_t sigBlockAlignment = 32;
