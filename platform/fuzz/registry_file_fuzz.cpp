#include "platform/fuzz/registry_file_fuzz.h"

#include "platform/fuzz/fuzz_folder.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/registry.h"
#include "platform/io/registry_file.h"
#include "platform/io/registry_text.h"
#include "platform/kernel/debug_print.h"

#include <filesystem>
#include <string>
#include <vector>

int fuzzRegistryFile(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path file = fuzz::scratchFolder() / "registry.txt";
    const std::filesystem::path aside = file.string() + ".damaged";
    fuzz::clearScratchFolder();
    fuzz::writeFile(file, bytes);
    kernel::clearDebugLog();

    // The needed key lines alone tell two registries apart, and they grow
    // with the registry, so every check here costs what the input does.
    std::string dump;
    {
        io::Registry registry;
        io::RegistryFile keeper(file);
        std::string message;
        const kernel::NTSTATUS status = keeper.load(message);
        dump = io::dumpRegistry(u"\\Registry", io::KeyLines::Needed);
        if (status == kernel::STATUS_FILE_CORRUPT_ERROR) {
            fuzzRequire(dump == "\\Registry\n", "a refused file loaded keys");
            fuzzRequire(fuzz::readFile(aside) == bytes,
                        "a refused file was not kept aside as it was");
            fuzzRequire(!message.empty(), "a refused file without a message");
        } else {
            fuzzRequire(status == kernel::STATUS_SUCCESS, "a file neither loaded nor refused");
            // Lines left out: the message says so and the file is kept as it was.
            fuzzRequire(std::filesystem::exists(aside) == !message.empty(),
                        "a file kept aside without a message, or a message without one");
            fuzzRequire(message.empty() || fuzz::readFile(aside) == bytes,
                        "a file with lines left out was not kept aside as it was");
            fuzzRequire(message.empty() || message.find("line ") != std::string::npos,
                        "lines left out without their numbers");
            const std::vector<std::string> printed = kernel::debugLog();
            fuzzRequire(printed.size() == (message.empty() ? 0u : 1u) &&
                            (message.empty() ||
                             printed[0].starts_with("Registry file partly loaded: registry file")),
                        "lines left out without a debug print, or a print without them");
            fuzzRequire(keeper.save(message) == kernel::STATUS_SUCCESS, "a save failed");
            fuzzRequire(fuzz::readFile(file) == dump + "end\n", "a save wrote another text");
        }
    }
    io::Registry again;
    std::vector<std::string> refused;
    fuzzRequire(io::loadRegistry(dump, nullptr, &refused) == kernel::STATUS_SUCCESS,
                "a dump does not load");
    fuzzRequire(refused.empty(), "a dump holds what the registry cannot");
    fuzzRequire(io::dumpRegistry(u"\\Registry", io::KeyLines::Needed) == dump,
                "a dump loads to another registry");
    return 0;
}
