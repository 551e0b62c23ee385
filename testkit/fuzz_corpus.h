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

inline void replayCorpus(const std::filesystem::path& folder, FuzzEntry entry) {
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no corpus in " << folder;
    for (const std::filesystem::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        EXPECT_EQ(entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

} // namespace testkit
