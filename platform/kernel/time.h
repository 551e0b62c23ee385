// Kernel time is counted in 100-nanosecond units.
#pragma once

#include <chrono>
#include <cstdint>

namespace kernel {

using Duration = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

// How long a wait may take: infinite, zero (only look), or a relative time.
class Timeout {
public:
    static constexpr Timeout infinite() { return Timeout(); }

    template <class Rep, class Period>
    constexpr Timeout(std::chrono::duration<Rep, Period> relative)
        : relative_(relative < decltype(relative)::zero() ? Duration::zero() : Duration(relative)),
          infinite_(false) {}

    constexpr bool isInfinite() const { return infinite_; }
    constexpr bool isZero() const { return !infinite_ && relative_ == Duration::zero(); }
    constexpr Duration relative() const { return relative_; }

private:
    constexpr Timeout() = default;
    Duration relative_{0};
    bool infinite_ = true;
};

} // namespace kernel
