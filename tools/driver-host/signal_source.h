// The signal the host plays: frames of little-endian integer samples, the
// same value in every channel (but for the channel bursts), the valid bits
// at the top of their container.
#pragma once

#include "tools/driver-host/host_options.h"
#include "tools/driver-host/rounded_sine.h"

#include <cstdint>

namespace driverhost {

class SignalSource {
public:
    // A sine of 1 kHz at -6 dBFS; a ramp counting up by one each frame
    // (wrapping at full scale); or a sine at -6 dBFS whose frequency rises
    // exponentially from 20 Hz to 20 kHz (or to 0.45 of a lower rate's
    // worth) over the run's seconds, then stays there; or, channel by
    // channel in turn, a burst of white noise peaking at -6 dBFS in that
    // channel alone, then silence, a slot each, the first again after the
    // last.
    explicit SignalSource(const Options& options);

    void fill(std::uint8_t* frames, std::uint32_t count);

    static constexpr double sineHertz = 1000.0;
    static constexpr double amplitude = 0.5; // -6 dBFS
    static constexpr double sweepStartHertz = 20.0;
    static constexpr double sweepEndHertz = 20000.0;
    static constexpr double burstSeconds = 0.1;
    static constexpr double slotSeconds = 0.2;

    // The channel bursts: the noise's value at a frame of the run, in
    // [-1, 1), the same every run; and the channel bursting at a frame, or
    // -1 in the silence between bursts.
    static double Noise(std::uint64_t frame);
    static int BurstChannel(std::uint64_t frame, std::uint32_t rate, std::uint16_t channels);

private:
    std::int64_t next();
    double frequency() const; // of the frame to come

    const Options m_options;
    const std::int64_t m_fullScale;
    const double m_sweepEnd;
    const RoundedSine m_sine;
    std::uint64_t m_frame = 0;
    double m_phase = 0; // in turns, in [0, 1)
};

} // namespace driverhost
