#include "tools/driver-host/output_files.h"

#include <filesystem>
#include <utility>
#include <vector>

namespace driverhost {
namespace {

// Two paths of one file: the same once resolved as far as they exist, or
// the same file on disk (a hard link).
bool OneFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const std::filesystem::path first =
        std::filesystem::weakly_canonical(std::filesystem::absolute(a, error), error);
    if (error) return false;
    const std::filesystem::path second =
        std::filesystem::weakly_canonical(std::filesystem::absolute(b, error), error);
    if (error) return false;
    if (first == second) return true;
    return std::filesystem::equivalent(first, second, error) && !error;
}

} // namespace

std::string SharedOutputFile(const Options& options) {
    std::vector<std::pair<std::string, std::filesystem::path>> outputs;
    if (!options.out.empty()) outputs.emplace_back("--out " + options.out, options.out);
    if (!options.captureOut.empty())
        outputs.emplace_back("--capture-out " + options.captureOut, options.captureOut);
    if (!options.systemRoot.empty())
        outputs.emplace_back("the registry file of --system-root " + options.systemRoot,
                             std::filesystem::path(options.systemRoot) / registryFileName);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (OneFile(outputs[i].second, outputs[j].second))
                return outputs[i].first + " and " + outputs[j].first + " name one file";
    return {};
}

} // namespace driverhost
