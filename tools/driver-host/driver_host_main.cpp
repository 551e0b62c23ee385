// driver-host: the driver on a simulated headset, from its entry point to
// the removal of the device, with what the device received in a WAV file.
#include "tools/driver-host/host_options.h"
#include "tools/driver-host/host_run.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == "--help") {
        std::fputs(driverhost::usage, stdout);
        return 0;
    }
    std::string error;
    const std::optional<driverhost::Options> options = driverhost::parseOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "driver-host: %s\n%s", error.c_str(), driverhost::usage);
        return 2;
    }
    const driverhost::RunResult result = driverhost::runDriverHost(*options);
    if (!kernel::succeeded(result.status))
        std::fprintf(stderr, "driver-host: %s failed (status 0x%08x)\n", result.failure.c_str(),
                     static_cast<unsigned>(result.status));
    std::printf(
        "frames %llu\npackets %llu\nnotifications %llu\nunderruns %llu\npool blocks left %zu\n",
        static_cast<unsigned long long>(result.frames),
        static_cast<unsigned long long>(result.packets),
        static_cast<unsigned long long>(result.notifications),
        static_cast<unsigned long long>(result.underruns), result.poolBlocksLeft);
    return kernel::succeeded(result.status) && result.poolBlocksLeft == 0 ? 0 : 1;
}
