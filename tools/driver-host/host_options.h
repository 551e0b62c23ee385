// The host program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

enum class Signal { sine, ramp, sweep };

struct Options {
    bool uac2 = false;
    std::uint32_t rate = 48000;
    std::uint16_t bits = 16;
    std::uint16_t channels = 2;
    Signal signal = Signal::sine;
    double seconds = 2.0;
    // Lockstep: time moves frame by frame as fast as the machine goes, the
    // same run every time. Otherwise the system runs on the platform's real
    // clock, and the run takes the seconds it plays.
    bool lockstep = false;
    // Play through the ASIO interface's rings, as an ASIO host's driver does,
    // on a headset whose endpoints serve ASIO (lockstep only).
    bool asio = false;
    std::string out;        // what the device's OUT endpoint received
    std::string captureOut; // what the capture pin handed the system
    // The folder that stands for the system's own: the driver's INI file
    // there, and the registry kept in a file there between runs.
    std::string systemRoot;
};

// The options, or nothing with the reason in `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

inline constexpr const char* usage =
    "usage: driver-host [--device uac1|uac2] [--rate HZ] [--bits 16|24|32] [--channels N]\n"
    "                   [--signal sine|ramp|sweep] [--seconds S] [--lockstep] [--asio]\n"
    "                   [--out FILE.wav] [--capture-out FILE.wav] [--system-root DIR]\n";

} // namespace driverhost
