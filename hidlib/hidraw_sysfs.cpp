#include "hidlib/hidraw_sysfs.h"

#include "hidlib/report_descriptor.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

namespace kestrel {

namespace {

constexpr std::string_view kDevicePrefix = "/dev/";
constexpr std::string_view kNodePrefix = "hidraw";
// The largest descriptor the kernel hands out.
constexpr std::size_t kMaxDescriptorBytes = 4096;

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

} // namespace

std::optional<std::string> reportDescriptorFile(std::string_view devicePath,
                                                std::string_view sysRoot) {
    if (!devicePath.starts_with(kDevicePrefix)) return std::nullopt;
    const std::string_view node = devicePath.substr(kDevicePrefix.size());
    if (!node.starts_with(kNodePrefix) || !allDigits(node.substr(kNodePrefix.size())))
        return std::nullopt;
    std::string file(sysRoot);
    file += "/class/hidraw/";
    file += node;
    file += "/device/report_descriptor";
    return file;
}

ReportLengths hidrawReportLengths(std::string_view devicePath, std::uint16_t usagePage,
                                  std::uint16_t usage, std::string_view sysRoot) {
    const auto file = reportDescriptorFile(devicePath, sysRoot);
    if (!file) return {};
    std::ifstream in(*file, std::ios::binary);
    if (!in) return {};
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kMaxDescriptorBytes);
    std::istreambuf_iterator<char> it(in), end;
    for (; it != end && bytes.size() < kMaxDescriptorBytes; ++it)
        bytes.push_back(static_cast<std::uint8_t>(*it));
    const auto collections = parseReportDescriptor(bytes);
    if (!collections) return {};
    return lengthsForUsage(*collections, usagePage, usage);
}

} // namespace kestrel
