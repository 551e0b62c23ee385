// What each input channel's burst (Signal::channels) became in the two ears
// of a stereo device: its level in each, against the burst as it was sent,
// and the interaural delay, the lag at which the two ears' signals over the
// burst are most alike.
#pragma once

#include "tools/driver-host/host_options.h"
#include "tools/driver-host/wav_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace driverhost {

struct EarLevels {
    std::uint16_t channel = 0;
    double leftDb = 0; // -infinity when nothing reached the ear
    double rightDb = 0;
    // Frames by which the right ear lags the left (positive: the left ear
    // hears it first); none when an ear heard nothing.
    std::optional<std::int32_t> interauralFrames;
};

// Each channel's first burst, sought `delay` frames after it was sent; a
// burst the stream does not hold whole is left out, and a device that is
// not stereo gives none.
std::vector<EarLevels> MeasureChannelBursts(std::span<const std::uint8_t> stream,
                                            const WavFormat& device, const Options& options,
                                            std::int64_t delay);

} // namespace driverhost
