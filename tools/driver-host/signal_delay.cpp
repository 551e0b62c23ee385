#include "tools/driver-host/signal_delay.h"

#include "tools/driver-host/signal_source.h"

#include <algorithm>
#include <vector>

namespace driverhost {
namespace {

std::int64_t FirstSounding(std::span<const std::uint8_t> stream, std::uint32_t frameBytes) {
    if (frameBytes == 0) return -1;
    const auto sounding =
        std::find_if(stream.begin(), stream.end(), [](std::uint8_t byte) { return byte != 0; });
    if (sounding == stream.end()) return -1;
    return (sounding - stream.begin()) / frameBytes;
}

// The signal's own leading silence: every signal sounds within its first
// millisecond.
std::int64_t SignalLead(const Options& options) {
    const std::uint32_t frames = options.rate / 1000 + 1;
    const std::uint32_t frameBytes = std::uint32_t{options.channels} * options.bits / 8;
    std::vector<std::uint8_t> start(std::size_t{frames} * frameBytes);
    SignalSource(options).fill(start.data(), frames);
    return std::max<std::int64_t>(0, FirstSounding(start, frameBytes));
}

} // namespace

std::int64_t SignalDelay(std::span<const std::uint8_t> stream, std::uint32_t frameBytes,
                         const Options& options) {
    const std::int64_t first = FirstSounding(stream, frameBytes);
    return first < 0 ? -1 : std::max<std::int64_t>(0, first - SignalLead(options));
}

} // namespace driverhost
