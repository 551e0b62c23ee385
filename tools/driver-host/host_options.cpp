#include "tools/driver-host/host_options.h"

#include "tools/driver-host/host_device.h"
#include "tools/driver-host/signal_source.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace driverhost {
namespace {

template <typename T> bool parseNumber(const std::string& text, T low, T high, T& value) {
    T parsed{};
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (failure != std::errc{} || end != text.data() + text.size()) return false;
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

// A plain decimal number: digits, with a point and more digits after it
// when wanted; no sign, exponent, hexadecimal or name.
bool parseSeconds(const std::string& text, double& seconds) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    const auto digits = [](const std::string& part) {
        return part.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || !digits(whole) || !digits(fraction) ||
        (point != std::string::npos && fraction.empty()))
        return false;
    double parsed = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (failure != std::errc{} || end != text.data() + text.size()) return false;
    seconds = parsed;
    return true;
}

// Seconds as a person writes them, to `decimals` places without trailing zeros.
std::string FormatSeconds(double seconds, int decimals = 6) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
    std::string written = text;
    while (written.back() == '0') written.pop_back();
    if (written.back() == '.') written.pop_back();
    return written;
}

// The longest run a WAV file of the client's frames holds: its sizes are
// 32-bit, and the RIFF size counts the header's 36 bytes beside the data.
double LongestSeconds(const Options& options) {
    const double frameBytes = static_cast<double>(options.channels) * options.containerBits() / 8;
    const double dataBytes = 4294967295.0 - 36;
    return std::floor(dataBytes / frameBytes) / options.rate;
}

} // namespace

bool wantsHelp(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "--help") != arguments.end();
}

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--lockstep" || name == "--asio" || name == "--debug-print" ||
            name == "--list") {
            (name == "--asio"          ? options.asio
             : name == "--debug-print" ? options.debugPrint
             : name == "--list"        ? options.list
                                       : options.lockstep) = true;
            continue;
        }
        if (name.rfind("--", 0) != 0) {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = "missing value after " + name;
            return std::nullopt;
        }
        if (arguments[i + 1].rfind("--", 0) == 0) {
            error = "missing value after " + name + " (" + arguments[i + 1] + " is an option)";
            return std::nullopt;
        }
        const std::string& value = arguments[++i];
        bool good = true;
        if (name == "--device") {
            good = FindDeviceModel(value) != nullptr;
            options.device = value;
        } else if (name == "--rate") {
            good = parseNumber<std::uint32_t>(value, 8000, 192000, options.rate);
        } else if (name == "--bits") {
            good = parseNumber<std::uint16_t>(value, 16, 32, options.bits) && options.bits % 8 == 0;
        } else if (name == "--container") {
            good = parseNumber<std::uint16_t>(value, 16, 32, options.container) &&
                   options.container % 8 == 0;

        } else if (name == "--channels") {
            good = parseNumber<std::uint16_t>(value, 1, 8, options.channels);
        } else if (name == "--signal") {
            good = value == "sine" || value == "ramp" || value == "sweep" || value == "channels";
            options.signal = value == "ramp"       ? Signal::ramp
                             : value == "sweep"    ? Signal::sweep
                             : value == "channels" ? Signal::channels
                                                   : Signal::sine;
        } else if (name == "--seconds") {
            good = parseSeconds(value, options.seconds);
        } else if (name == "--out") {
            good = !value.empty();
            options.out = value;
        } else if (name == "--capture-out") {
            good = !value.empty();
            options.captureOut = value;
        } else if (name == "--effect") {
            const std::size_t equals = value.find('=');
            good = equals != std::string::npos && equals != 0 && equals + 1 != value.size();
            options.effects.push_back(value);
        } else if (name == "--system-root") {
            good = !value.empty();
            options.systemRoot = value;
        } else {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (!good) {
            error = "bad value for " + name + ": " + value;
            return std::nullopt;
        }
    }
    if (options.container != 0 && options.container < options.bits) {
        error = "--container " + std::to_string(options.container) + " cannot hold " +
                std::to_string(options.bits) + "-bit samples";
        return std::nullopt;
    }
    if (options.seconds < shortestSeconds) {
        error = "--seconds " + FormatSeconds(options.seconds) + " is shorter than a packet (" +
                FormatSeconds(shortestSeconds) + " s)";
        return std::nullopt;
    }
    const double longest = LongestSeconds(options);
    if (options.seconds > longest) {
        error = "--seconds " + FormatSeconds(options.seconds) + " is longer than a WAV file of " +
                std::to_string(options.rate) + " Hz, " + std::to_string(options.channels) +
                " channels of " + std::to_string(options.containerBits()) + " bits can hold (" +
                FormatSeconds(std::floor(longest * 1000) / 1000, 3) + " s)";
        return std::nullopt;
    }
    // (Tenths of a second exactly: 8 x 0.2 is a shade more than 1.6 in binary.)
    if (options.signal == Signal::channels &&
        std::llround(options.seconds * 1000) <
            std::llround(options.channels * SignalSource::slotSeconds * 1000)) {
        error = "--signal channels plays each of the " + std::to_string(options.channels) +
                " channels' bursts in a slot of its own: --seconds " +
                FormatSeconds(options.channels * SignalSource::slotSeconds) + " at least";
        return std::nullopt;
    }
    if (options.asio && !options.lockstep) {
        error = "--asio runs in lockstep only: add --lockstep";
        return std::nullopt;
    }
    if (options.asio && options.signal == Signal::channels) {
        error = "--signal channels plays through a wave pin: leave out --asio";
        return std::nullopt;
    }
    if (!options.out.empty() && options.out == options.captureOut) {
        error = "--out and --capture-out name the same file: " + options.out;
        return std::nullopt;
    }
    return options;
}

} // namespace driverhost
