// Replays a fuzz corpus in the ordinary test run: every file of the folder,
// in name order, through the fuzz entry the fuzzer calls. An entry reports a
// fault by aborting, so a replay that returns has found none.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testkit {

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

inline std::vector<std::filesystem::path> fuzzInputsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());
    return files;
}

inline void replayFiles(const std::vector<std::filesystem::path>& files, FuzzEntry entry) {
    for (const std::filesystem::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        EXPECT_EQ(entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

inline void replayCorpus(const std::filesystem::path& folder, FuzzEntry entry) {
    const std::vector<std::filesystem::path> files = fuzzInputsIn(folder);
    ASSERT_FALSE(files.empty()) << "no corpus in " << folder;
    replayFiles(files, entry);
}

// A fuzzer's inputs kept in its package's fuzz/ folder: the seed corpus
// (corpus/<name>, never empty) and the inputs that once made it report
// (regressions/<name>, absent until the first).
inline void replayFuzzInputs(const std::filesystem::path& fuzzFolder, const std::string& name,
                             FuzzEntry entry) {
    replayCorpus(fuzzFolder / "corpus" / name, entry);
    replayFiles(fuzzInputsIn(fuzzFolder / "regressions" / name), entry);
}

} // namespace testkit
