// Kernel checks: the faults that stop a real machine (waiting at dispatch
// level, re-entering a spin lock, freeing a block twice...). A check that
// fails goes to the installed handler; the default one prints the message and
// aborts, so such a fault can never pass unnoticed. Tests install a handler
// that turns it into a test failure, or expect it explicitly.
#pragma once

namespace kernel {

using CheckHandler = void (*)(const char* message);

// Installs a handler and returns the previous one; null restores the default.
CheckHandler setCheckHandler(CheckHandler handler);

// Reports a failed check. When the handler returns, the caller carries on in
// the safest way it has (a wait does not block, a bad free frees nothing).
void failCheck(const char* message);

inline bool check(bool condition, const char* message) {
    if (!condition) failCheck(message);
    return condition;
}

} // namespace kernel
