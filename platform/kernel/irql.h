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

// The level rule of a service, checked where it is entered: when the caller
// runs above `max`, fails a check naming `what` and both levels ("wait at
// dispatch level (allowed up to APC level)") and returns false; the service
// then refuses the call in the safest way it has. Dispatch is the highest
// level emulated, so "up to dispatch level" admits every caller; services
// with that rule state it at their entry all the same.
bool requireIrql(Irql max, const char* what);

// Spin locks held by the calling thread (a thread must end holding none).
int spinLocksHeld();

} // namespace kernel
