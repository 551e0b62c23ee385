#include "tools/driver-host/channel_levels.h"

#include "tools/driver-host/pcm_sample.h"
#include "tools/driver-host/signal_source.h"

#include <cmath>
#include <limits>

namespace driverhost {
namespace {

double Decibels(double energy, double reference) {
    return energy <= 0 ? -std::numeric_limits<double>::infinity()
                       : 10 * std::log10(energy / reference);
}

} // namespace

std::vector<EarLevels> MeasureChannelBursts(std::span<const std::uint8_t> stream,
                                            const WavFormat& device, const Options& options,
                                            std::int64_t delay) {
    std::vector<EarLevels> levels;
    const std::uint32_t bytes = device.bytesPerSample;
    if (device.channels != 2 || bytes == 0 || bytes > 4 || delay < 0) return levels;
    const std::size_t frames = stream.size() / (2u * bytes);
    const auto rate = static_cast<std::int64_t>(options.rate);
    const auto slot = static_cast<std::int64_t>(std::llround(SignalSource::slotSeconds * rate));
    const auto burst = static_cast<std::int64_t>(std::llround(SignalSource::burstSeconds * rate));
    // The window reaches a little before the burst and on into its tail;
    // the delays searched stay within 1.5 ms either way.
    const std::int64_t before = rate / 200, after = rate / 40, lags = rate * 3 / 2000;
    for (std::uint16_t channel = 0; channel < options.channels; ++channel) {
        const std::int64_t sent = channel * slot;
        const std::int64_t first = sent + delay - before;
        const std::int64_t end = sent + delay + burst + after;
        if (first - lags < 0 || static_cast<std::size_t>(end + lags) > frames) break;
        double reference = 0;
        for (std::int64_t f = sent; f < sent + burst; ++f) {
            const double value =
                SignalSource::amplitude * SignalSource::Noise(static_cast<std::uint64_t>(f));
            reference += value * value;
        }
        const auto ear = [&](std::int64_t frame, int side) {
            return SampleFraction(
                stream.data() + (static_cast<std::size_t>(frame) * 2 + side) * bytes, bytes);
        };
        double left = 0, right = 0;
        for (std::int64_t f = first; f < end; ++f) {
            left += ear(f, 0) * ear(f, 0);
            right += ear(f, 1) * ear(f, 1);
        }
        EarLevels measured{channel, Decibels(left, reference), Decibels(right, reference), {}};
        if (left > 0 && right > 0) {
            double best = -std::numeric_limits<double>::infinity();
            for (std::int64_t lag = -lags; lag <= lags; ++lag) {
                double sum = 0;
                for (std::int64_t f = first; f < end; ++f) sum += ear(f, 0) * ear(f + lag, 1);
                if (sum > best) {
                    best = sum;
                    measured.interauralFrames = static_cast<std::int32_t>(lag);
                }
            }
        }
        levels.push_back(measured);
    }
    return levels;
}

} // namespace driverhost
