#pragma once

// The one state behind the library's entry points and its control API: the
// device list, the property store and the call log, under one lock.

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace mixcoresim {

using DeviceInfo = std::array<std::uint32_t, 4>;

struct PropertyKey {
    std::uint32_t word0 = 0;
    std::string name;
    std::vector<std::int32_t> selector; // the words the property is keyed by
    auto operator<=>(const PropertyKey&) const = default;
};

// A stored int32 or float32, or a text a test set.
using StoredValue = std::variant<std::int32_t, float, std::u16string>;

struct World {
    std::mutex mutex;
    std::int32_t initResult = 0;
    std::array<std::uint32_t, 2> counts{1, 1};
    std::array<std::uint32_t, 2> failingCounts{};
    std::map<std::pair<std::int32_t, std::int32_t>, DeviceInfo> devices; // set by a test
    std::set<std::string> failedNames;
    std::map<PropertyKey, StoredValue> store;
    std::string log;

    void reset();
    // The device at `index` of the flow, or false past the flow's count.
    bool deviceAt(std::int32_t flow, std::int32_t index, DeviceInfo& out) const;
    bool knowsDevice(std::uint32_t word0) const;
    void note(const std::string& line) { log += line + '\n'; }
};

World& world();

} // namespace mixcoresim
