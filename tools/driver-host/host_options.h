// The host program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

enum class Signal { sine, ramp };

struct Options {
    bool uac2 = false;
    std::uint32_t rate = 48000;
    std::uint16_t bits = 16;
    std::uint16_t channels = 2;
    Signal signal = Signal::sine;
    double seconds = 2.0;
    std::string out;
};

// The options, or nothing with the reason in `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

inline constexpr const char* usage =
    "usage: driver-host [--device uac1|uac2] [--rate HZ] [--bits 16|24|32] [--channels N]\n"
    "                   [--signal sine|ramp] [--seconds S] [--out FILE.wav]\n";

} // namespace driverhost
