#include "platform/fuzz/fuzz_folder.h"

#include "platform/fuzz/fuzz_require.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace fuzz {
namespace {

struct Scratch {
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-XXXXXX").string();
        fuzzRequire(::mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

} // namespace

const std::filesystem::path& scratchFolder() {
    static const Scratch scratch;
    return scratch.path;
}

void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fuzzRequire(static_cast<bool>(out), "cannot write a scratch file");
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void clearScratchFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(scratchFolder(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

} // namespace fuzz
