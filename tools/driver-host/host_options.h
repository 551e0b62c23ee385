// The host program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driverhost {

enum class Signal { sine, ramp, sweep, channels };

struct Options {
    // The simulated device, by its name in the host's catalogue.
    std::string device = "uac1";
    std::uint32_t rate = 48000;
    std::uint16_t bits = 16; // the sample's valid bits
    // The bits a sample takes in the client's frames; 0: as the device
    // offers the valid bits, packed when it can.
    std::uint16_t container = 0;
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
    // The driver's debug prints to standard error while the run goes on.
    bool debugPrint = false;
    // Print every device with the formats its pins take and its effect
    // controls, and play nothing.
    bool list = false;
    std::string out;        // what the device's OUT endpoint received
    std::string captureOut; // what the capture pin handed the system
    // The folder that stands for the system's own: the driver's INI file
    // there, and the registry kept in a file there between runs.
    std::string systemRoot;
    // Effect controls to set before the run, as NAME=VALUE in the order
    // given (the names --list prints).
    std::vector<std::string> effects;

    // The container the client's samples take: given, else the valid bits.
    std::uint16_t containerBits() const { return container != 0 ? container : bits; }
};

// The shortest run: one packet of the bus.
inline constexpr double shortestSeconds = 0.001;

// `--help` stands among the arguments, wherever: the usage is all that is asked.
bool wantsHelp(const std::vector<std::string>& arguments);

// The options, or nothing with the reason in `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

inline constexpr const char* usage =
    "usage: driver-host [--device NAME] [--rate HZ] [--bits 16|24|32] [--container 16|24|32]\n"
    "                   [--channels N] [--signal sine|ramp|sweep|channels]\n"
    "                   [--seconds S] [--lockstep] [--asio] [--out FILE.wav]\n"
    "                   [--capture-out FILE.wav] [--system-root DIR] [--debug-print]\n"
    "                   [--effect NAME=VALUE]...\n"
    "       driver-host --list     every device, the formats its pins take, its effect controls\n"
    "       driver-host --help     this, wherever it stands among the options\n"
    "  --seconds: a plain decimal number, from 0.001 (a packet) to what a WAV file holds.\n"
    "  exit status: 0 the run lost nothing; 1 it failed, lost or repeated frames, or left\n"
    "  pool blocks or threads behind (a line on standard error says which); 2 the command\n"
    "  line was refused.\n";

} // namespace driverhost
