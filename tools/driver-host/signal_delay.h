// Where the played signal begins in what the device received.
#pragma once

#include "tools/driver-host/host_options.h"
#include "tools/driver-host/wav_file.h"

#include <cstdint>
#include <span>

namespace driverhost {

// Frames of the device's stream (in the device's layout) before the
// signal's first frame. The signal is found where its first channel first
// reaches a quarter of the largest magnitude the signal has in its first
// millisecond, less the frames the signal itself takes to get there, so a
// filter's faint lead-in (the limiter's taps ring a frame early) does not
// count as the signal. -1 when the signal never gets there.
std::int64_t SignalDelay(std::span<const std::uint8_t> stream, const WavFormat& device,
                         const Options& options);

} // namespace driverhost
