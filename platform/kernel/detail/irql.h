// Inside the kernel layer: who the calling thread is, and the spin locks it holds.
#pragma once

#include <cstdint>

namespace kernel::detail {

// Names the calling thread (the address of a thread-local object).
const void* currentThreadKey();

// A system thread's place in the order of starts (systemThreadStarts), noted
// by the thread itself as it begins; 0 on any other thread.
void noteSystemThreadOrdinal(std::uint64_t ordinal);
std::uint64_t systemThreadOrdinal();

void noteSpinLockAcquired();
void noteSpinLockReleased();

} // namespace kernel::detail
