// Saves the floating-point environment (x87 control word, SSE control
// register, exception flags) and restores it when the scope ends.
#pragma once

#include <cfenv>

namespace testkit {

class FenvGuard {
public:
    FenvGuard() { std::fegetenv(&saved_); }
    // Also switches to `roundingMode` (FE_TONEAREST, FE_UPWARD, ...) for the scope.
    explicit FenvGuard(int roundingMode) : FenvGuard() { std::fesetround(roundingMode); }
    ~FenvGuard() { std::fesetenv(&saved_); }
    FenvGuard(const FenvGuard&) = delete;
    FenvGuard& operator=(const FenvGuard&) = delete;

private:
    std::fenv_t saved_;
};

inline constexpr int kRoundingModes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};

} // namespace testkit
