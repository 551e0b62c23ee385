// Saving and restoring the floating-point state around floating-point work in
// driver code (control word, status flags, rounding and flush-to-zero modes).
// A test can make saves fail, as the kernel may when it has no room.
#pragma once

#include "platform/kernel/status.h"

#include <cfenv>

namespace kernel {

struct FloatingSave {
    std::fenv_t environment{};
    bool saved = false;
};

// STATUS_INSUFFICIENT_RESOURCES when a failure is injected; the state is
// then not saved and must not be restored.
NTSTATUS saveFloatingPointState(FloatingSave& save);
// Restoring a save that does not hold a state fails a check.
NTSTATUS restoreFloatingPointState(FloatingSave& save);

// Every save fails while on.
void failFloatingPointSaves(bool on);

} // namespace kernel
