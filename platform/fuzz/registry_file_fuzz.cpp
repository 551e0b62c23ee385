#include "platform/fuzz/registry_file_fuzz.h"

#include "platform/fuzz/fuzz_folder.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/registry.h"
#include "platform/io/registry_file.h"
#include "platform/io/registry_text.h"

#include <string>

int fuzzRegistryFile(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path file = fuzz::scratchFolder() / "registry.txt";
    fuzz::clearScratchFolder();
    fuzz::writeFile(file, bytes);

    std::string dump;
    {
        io::Registry registry;
        io::RegistryFile keeper(file);
        std::string message;
        const kernel::NTSTATUS status = keeper.load(message);
        dump = io::dumpRegistry();
        if (status == kernel::STATUS_FILE_CORRUPT_ERROR) {
            fuzzRequire(dump == "\\Registry\n", "a refused file loaded keys");
            fuzzRequire(fuzz::readFile(file.string() + ".damaged") == bytes,
                        "a refused file was not kept aside as it was");
            fuzzRequire(!message.empty(), "a refused file without a message");
        } else {
            fuzzRequire(status == kernel::STATUS_SUCCESS, "a file neither loaded nor refused");
            fuzzRequire(keeper.save(message) == kernel::STATUS_SUCCESS, "a save failed");
            fuzzRequire(fuzz::readFile(file) == dump + "end\n", "a save wrote another text");
        }
    }
    io::Registry again;
    fuzzRequire(io::loadRegistry(dump) == kernel::STATUS_SUCCESS, "a dump does not load");
    fuzzRequire(io::dumpRegistry() == dump, "a dump loads to another registry");
    return 0;
}
