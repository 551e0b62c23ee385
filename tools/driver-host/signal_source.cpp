#include "tools/driver-host/signal_source.h"

#include <algorithm>
#include <cmath>

namespace driverhost {

SignalSource::SignalSource(const Options& options)
    : m_options(options), m_fullScale((std::int64_t{1} << (options.bits - 1)) - 1),
      m_sweepEnd(std::min(sweepEndHertz, 0.45 * options.rate)) {}

void SignalSource::fill(std::uint8_t* frames, std::uint32_t count) {
    // The valid bits sit at the top of a wider container.
    const std::uint32_t bytes = m_options.containerBits() / 8u;
    const std::uint32_t shift = m_options.containerBits() - m_options.bits;
    for (std::uint32_t i = 0; i < count; ++i) {
        const int bursting = m_options.signal == Signal::channels
                                 ? BurstChannel(m_frame, m_options.rate, m_options.channels)
                                 : -2;
        const auto value = static_cast<std::uint64_t>(next()) << shift;
        for (int channel = 0; channel < m_options.channels; ++channel) {
            const std::uint64_t sample = bursting == -2 || bursting == channel ? value : 0;
            for (std::uint32_t b = 0; b < bytes; ++b)
                *frames++ = static_cast<std::uint8_t>(sample >> (8 * b));
        }
    }
}

double SignalSource::frequency() const {
    if (m_options.signal != Signal::sweep) return sineHertz;
    const double at = static_cast<double>(m_frame) / (m_options.seconds * m_options.rate);
    return sweepStartHertz * std::pow(m_sweepEnd / sweepStartHertz, std::min(at, 1.0));
}

double SignalSource::Noise(std::uint64_t frame) {
    // The frame's number, mixed until every bit depends on every other.
    std::uint64_t z = frame + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / static_cast<double>(std::uint64_t{1} << 52) - 1.0;
}

int SignalSource::BurstChannel(std::uint64_t frame, std::uint32_t rate, std::uint16_t channels) {
    const auto slot = static_cast<std::uint64_t>(std::llround(slotSeconds * rate));
    const auto burst = static_cast<std::uint64_t>(std::llround(burstSeconds * rate));
    if (slot == 0 || channels == 0 || frame % slot >= burst) return -1;
    return static_cast<int>(frame / slot % channels);
}

std::int64_t SignalSource::next() {
    if (m_options.signal == Signal::channels)
        return std::llround(amplitude * static_cast<double>(m_fullScale) * Noise(m_frame++));
    if (m_options.signal == Signal::ramp)
        return static_cast<std::int64_t>(m_frame++ % static_cast<std::uint64_t>(m_fullScale + 1));
    // The phase is carried from frame to frame, so the sweep's frequency
    // changes without a jump in the wave.
    const std::int64_t value = m_sine(m_phase, amplitude * static_cast<double>(m_fullScale));
    m_phase += frequency() / m_options.rate;
    if (m_phase >= 1) m_phase -= std::floor(m_phase); // below 1 its floor is 0
    ++m_frame;
    return value;
}

} // namespace driverhost
