// Fuzz entry of the panel's reading of the headset's replies: a simulated
// headset whose stored settings (every byte of every reply) come from the
// input, with the feature reads and one write failing as the input says,
// answers a full settings read and an automatic sync. Checks that a read
// that succeeds puts each reply byte where it belongs and nothing else, that
// a read that fails leaves the profile as it was, and that a sync that
// succeeds stamps the profile with the clock's time. Aborts on a fault.
//
// Input: byte 0 bit 0 makes feature reads fail, byte 1 the write that fails
// (0: none), then the headset's stored settings as they lie in memory.
#pragma once

#include <cstddef>
#include <cstdint>

int fuzzHidReplies(const std::uint8_t* data, std::size_t size);
