// Described functions for tests and the demo: a release 1 headset, a
// release 2 device with a clock source and explicit feedback, and one
// device per chip model, each naming its model by the string descriptor the
// driver reads (index 0x50, or 0x32 when 0x50 is missing).
#pragma once

#include "sim/usb/function_description.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace usbsim::fixtures {

// The product code by which the Q7K2 chip model is known; the project's own
// choice, since it stands for one of the maker's chips.
inline constexpr std::u16string_view q7k2ProductCode = u"Q7K2HS";

inline constexpr std::uint8_t modelStringIndex = 0x50;
inline constexpr std::uint8_t fallbackModelStringIndex = 0x32;

// Speaker with mute and volume, microphone, a sidetone mixer, an input
// selector, the 2-byte status interrupt; playback of 16-bit samples and of
// 24-bit samples in 3 bytes at 44.1 and 48 kHz, capture at 48 kHz.
FunctionDescription uac1Headset();

// A clock source of six rates (44.1 to 192 kHz), headphones and microphone
// (one connected jack each) with their feature units (one control
// read-only), an asynchronous playback endpoint with explicit feedback, the
// 6-byte status interrupt. Each direction has settings for 24-bit samples in
// 4-byte subslots, 16-bit samples and 32-bit samples, in that order (the
// first two swapped for the microphone).
FunctionDescription uac2FeedbackDevice();
// The same as the maker's product 0x01E1, whose headphones and microphone
// both serve ASIO, each with a DSD setting besides PCM: raw data of 64 DSD
// bits a channel in 8-byte subslots, stereo, at a 64th of the DSD rate.
FunctionDescription uac2AsioDevice();

// The N3W8 chip's side of its register path: what register writes stored,
// the two identification bytes it answers and the input report it reports.
struct N3W8Chip {
    using Report = std::array<std::uint8_t, 3>;
    // The report's n-th read (counted from 0) gets what it returns; nothing
    // stalls that read.
    using ReportScript = std::function<std::optional<Report>(std::uint32_t read)>;

    std::array<std::uint16_t, 6> registers{};
    std::uint8_t identificationA = 0x9F; // answered at wIndex 9
    std::uint8_t identificationB = 0x03; // answered at wIndex 8
    Report inputReport{};                // every read's answer while there is no script
    ReportScript reportScript;           // set before the device is plugged
    std::atomic<std::uint32_t> reportReads{0};
};

// The chip's one fixed configuration: sixteen terminals and units, a
// playback interface of five settings and a capture interface.
FunctionDescription n3w8Device(std::shared_ptr<N3W8Chip> chip = std::make_shared<N3W8Chip>());
// Feature units 9 to 14 with mute and volume, 9, 11 and 13 with bass too.
FunctionDescription k7d2Device();
// Vendor 0x1B1C with its speaker output terminal 6; units 9, 10 and 13
// with mute, volume and bass.
FunctionDescription p9f4Device();
FunctionDescription t6l1Device();
// The chip headset on the generic release-1 model, whose identification
// registers mark playback and capture as serving ASIO; the ids may name a
// product the driver knows.
FunctionDescription asioChipHeadset(std::uint16_t vendor = 0x5A17, std::uint16_t product = 0x0605);
// Its feature unit 9 has a vendor control block with the effect controls
// 139 and 140, read and written by vendor requests.
FunctionDescription q7k2Device();
// The same for another device and device release (bcdDevice): the chip's
// revision and the device pick the model's masks.
FunctionDescription q7k2Device(std::uint16_t vendor, std::uint16_t product, std::uint16_t release);

} // namespace usbsim::fixtures
