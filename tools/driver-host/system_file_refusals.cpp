#include "tools/driver-host/system_file_refusals.h"

#include <string_view>

namespace driverhost {
namespace {

std::string_view WithoutLineEnd(std::string_view print) {
    while (!print.empty() && (print.back() == '\n' || print.back() == '\r')) print.remove_suffix(1);
    return print;
}

// "System folder: FILE refused: REASON"
std::string FolderRefusal(std::string_view print) {
    constexpr std::string_view head = "System folder: ";
    constexpr std::string_view refused = " refused: ";
    if (!print.starts_with(head)) return {};
    const std::size_t at = print.find(refused);
    if (at == std::string_view::npos) return {};
    return "refused " + std::string(print.substr(head.size(), at - head.size())) + ": " +
           std::string(print.substr(at + refused.size()));
}

// "INI: FILE is larger than N bytes; nothing is imported"
std::string SettingsRefusal(std::string_view print) {
    constexpr std::string_view head = "INI: ";
    constexpr std::string_view larger = " is larger than ";
    if (!print.starts_with(head) || !print.ends_with("nothing is imported")) return {};
    const std::size_t at = print.find(larger);
    if (at == std::string_view::npos) return {};
    return "refused " + std::string(print.substr(head.size(), at - head.size())) + ": " +
           std::string(print.substr(at + std::string_view(" is ").size()));
}

// "Registry file refused: cannot read FILE: REASON..."
std::string RegistryRefusal(std::string_view print) {
    constexpr std::string_view head = "Registry file refused: ";
    if (!print.starts_with(head)) return {};
    return "refused the registry file: " + std::string(print.substr(head.size()));
}

} // namespace

std::vector<std::string> RefusedSystemFiles(const std::vector<std::string>& debugPrints) {
    std::vector<std::string> lines;
    for (const std::string& print : debugPrints) {
        const std::string_view text = WithoutLineEnd(print);
        for (std::string line : {FolderRefusal(text), SettingsRefusal(text), RegistryRefusal(text)})
            if (!line.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace driverhost
