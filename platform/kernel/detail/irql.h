// Inside the kernel layer: who the calling thread is, and the spin locks it holds.
#pragma once

namespace kernel::detail {

// Names the calling thread (the address of a thread-local object).
const void* currentThreadKey();

void noteSpinLockAcquired();
void noteSpinLockReleased();

} // namespace kernel::detail
