// The 101-tap coefficient sets that the eight-channel limiter prepares its
// per-channel FIR states from. Both are symmetric windowed-sinc low-pass
// tables (Hann window, unity gain at DC) scaled by 2.0: one cut at 20 kHz for
// 48000 Hz streams, whose first coefficient is then set to 1.0, and one cut at
// 20 kHz of a 44100 Hz stream for every other rate.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int Fir8Taps = 101;

using Fir8Coefficients = std::array<float, Fir8Taps>;

// The set for a stream rate.
Fir8Coefficients MakeFir8Coefficients(std::uint32_t samplesPerSec);
