// Levels as feature units carry them on the wire: bass, mid and treble as a
// signed byte in quarter dB, the others as signed 16 bits in 1/256 dB, with
// 0x8000 as the silence code. Values beyond what the wire carries saturate,
// so a loud value never wraps into silence.
#pragma once

#include <cstdint>

// The bytes a selector's level takes: 1 or 2.
std::uint32_t LevelBytes(std::uint8_t selector);

// A level read from the wire in 1/65536 dB; a current value of the silence
// code reads as minus infinity rather than -128 dB.
std::int32_t ReadLevel(const std::uint8_t* bytes, std::uint32_t length, bool current);

// Writes the level's wire bytes; their number.
std::uint32_t WriteLevel(std::uint8_t selector, std::int32_t value, std::uint8_t* bytes);
