#include "tools/driver-host/host_options.h"

#include "tools/driver-host/host_device.h"

#include <charconv>
#include <cmath>

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

bool parseSeconds(const std::string& text, double& seconds) {
    std::size_t used = 0;
    double parsed = 0;
    try {
        parsed = std::stod(text, &used);
    } catch (...) {
        return false;
    }
    if (used != text.size() || !std::isfinite(parsed) || parsed <= 0 || parsed > 3600) return false;
    seconds = parsed;
    return true;
}

} // namespace

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
