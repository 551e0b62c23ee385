#include "tools/driver-host/signal_delay.h"

#include "tools/driver-host/pcm_sample.h"
#include "tools/driver-host/signal_source.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace driverhost {
namespace {

double Magnitude(const std::uint8_t* at, std::uint32_t bytes) {
    return std::fabs(SampleFraction(at, bytes));
}

// The first frame whose first channel reaches the level; -1 when none does.
std::int64_t FirstReaching(std::span<const std::uint8_t> stream, std::uint32_t frameBytes,
                           std::uint32_t sampleBytes, double level) {
    if (frameBytes == 0 || sampleBytes == 0 || sampleBytes > 8) return -1;
    for (std::size_t at = 0; at + frameBytes <= stream.size(); at += frameBytes)
        if (Magnitude(stream.data() + at, sampleBytes) >= level)
            return static_cast<std::int64_t>(at / frameBytes);
    return -1;
}

} // namespace

std::int64_t SignalDelay(std::span<const std::uint8_t> stream, const WavFormat& device,
                         const Options& options) {
    const std::uint32_t frames = options.rate / 1000 + 1;
    const std::uint32_t sampleBytes = options.containerBits() / 8u;
    const std::uint32_t frameBytes = std::uint32_t{options.channels} * sampleBytes;
    std::vector<std::uint8_t> start(std::size_t{frames} * frameBytes);
    SignalSource(options).fill(start.data(), frames);
    double largest = 0;
    for (std::uint32_t f = 0; f < frames; ++f)
        largest = std::max(largest, Magnitude(start.data() + f * frameBytes, sampleBytes));
    if (largest == 0) return -1;
    const double level = largest / 4;
    const std::int64_t lead = FirstReaching(start, frameBytes, sampleBytes, level);
    const std::int64_t first =
        FirstReaching(stream, std::uint32_t{device.channels} * device.bytesPerSample,
                      device.bytesPerSample, level);
    return first < 0 ? -1 : std::max<std::int64_t>(0, first - lead);
}

} // namespace driverhost
