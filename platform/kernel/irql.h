// The interrupt request level, emulated per thread. Code at dispatch level may
// not wait or touch paged memory; spin locks and deferred procedure calls run
// there. Every thread starts at passive level.
#pragma once

#include <cstdint>

namespace kernel {

enum class Irql : std::uint8_t {
    Passive = 0,
    Apc = 1,
    Dispatch = 2,
};

Irql currentIrql();

// Raising to a lower level, or lowering to a higher one, fails a check.
Irql raiseIrql(Irql level);
void lowerIrql(Irql previous);

// Raises for a scope and lowers back on exit.
class IrqlScope {
public:
    explicit IrqlScope(Irql level) : previous_(raiseIrql(level)) {}
    ~IrqlScope() { lowerIrql(previous_); }
    IrqlScope(const IrqlScope&) = delete;
    IrqlScope& operator=(const IrqlScope&) = delete;

private:
    Irql previous_;
};

// Spin locks held by the calling thread (a thread must end holding none).
int spinLocksHeld();

namespace detail {
// Names the calling thread (the address of a thread-local object).
const void* currentThreadKey();
void noteSpinLockAcquired();
void noteSpinLockReleased();
} // namespace detail

} // namespace kernel
