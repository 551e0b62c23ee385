#pragma once

// Reads and writes of the property store, as the PropertyControl entry
// makes them. Called with the world's lock held.

#include "sim/mixcore/mixcore_world.h"

#include <cstdint>

namespace mixcoresim {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kUnknown = 1;     // no such property or device
constexpr std::int32_t kBadArgument = 2; // missing buffer or selector, bad direction, read-only

// The largest text a read writes: the client's 1024-byte buffer.
constexpr std::size_t kMaxTextUnits = 512;

std::int32_t controlProperty(World& w, std::uint32_t word0, const char16_t* name, void** data,
                             void** selector, std::int32_t direction);

// A test's text as the library hands it out.
std::u16string widen(const char* text);

} // namespace mixcoresim
