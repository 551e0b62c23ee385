#pragma once

// What the headset's firmware keeps from the command set: each write command
// stores its payload here and the matching read command (code | 0x80) hands
// it back.

#include <array>
#include <cstdint>

namespace hidsim {

constexpr std::size_t kMacroSlots = 35;
constexpr std::size_t kColourSlots = 7;

struct HeadsetState {
    // 0x80: firmware version and the pacing the host should use (0: its defaults).
    std::uint8_t versionMajor = 1;
    std::uint8_t versionMinor = 5;
    std::uint8_t featureDelayMs = 0;
    std::uint8_t writeDelayMs = 0;

    std::array<std::uint8_t, 4> settings{};  // 0x01 / 0x81
    std::array<std::uint8_t, 5> switches{};  // 0x02: clarity, surround, ENC, magic voice, mic mute
    std::array<std::uint8_t, 5> led{};       // 0x03: mode, 1, 0, speed, 0
    std::array<std::uint8_t, 7> ledColour{}; // 0x04
    std::array<std::uint8_t, 4> ledType{};   // 0x06 / 0x86
    std::array<std::uint8_t, 6> keys07{};    // 0x07 / 0x87: a, b, k0..k3
    std::array<std::uint8_t, 4> keys08{};    // 0x08 / 0x88: k4..k7
    std::uint8_t profile = 0;                // 0x09
    std::array<std::array<std::uint8_t, 3>, kColourSlots> colours{}; // 0x14 / 0x94
    std::array<std::uint8_t, 6> timeStamp{}; // 0x15 / 0x95, most significant byte first
    std::uint8_t gamingMode = 0;             // 0x16 / 0x96
    // 0x89 reply byte 4: 0 until the host has stamped the headset with 0x15.
    std::uint8_t syncedFlag = 0;

    std::array<std::uint8_t, 64> block02{};  // 0x02 block / 0x82
    std::array<std::uint8_t, 64> keyBlock{}; // 0x03 block / 0x83
    // 0x05 / 0x85; flash that was never written reads as 0xFF.
    std::array<std::array<std::uint8_t, 192>, kMacroSlots> macros = erasedMacros();

    static constexpr std::array<std::array<std::uint8_t, 192>, kMacroSlots> erasedMacros() {
        std::array<std::array<std::uint8_t, 192>, kMacroSlots> erased{};
        for (auto& macro : erased) macro.fill(0xFF);
        return erased;
    }

    bool operator==(const HeadsetState&) const = default;
};

} // namespace hidsim
