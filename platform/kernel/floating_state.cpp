#include "platform/kernel/floating_state.h"

#include "platform/kernel/check.h"

#include <atomic>

namespace kernel {
namespace {
std::atomic<bool> savesFail{false};
}

NTSTATUS saveFloatingPointState(FloatingSave& save) {
    save.saved = false;
    if (savesFail.load()) return STATUS_INSUFFICIENT_RESOURCES;
    if (std::fegetenv(&save.environment) != 0) return STATUS_UNSUCCESSFUL;
    save.saved = true;
    return STATUS_SUCCESS;
}

NTSTATUS restoreFloatingPointState(FloatingSave& save) {
    if (!check(save.saved, "floating-point state restored without a save"))
        return STATUS_UNSUCCESSFUL;
    save.saved = false;
    return std::fesetenv(&save.environment) == 0 ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

void failFloatingPointSaves(bool on) { savesFail.store(on); }

} // namespace kernel
