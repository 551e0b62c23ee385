#pragma once

// The four commands that carry an option block's switches and lighting to
// the headset: 0x02 (switches), 0x03 (LED mode and speed), 0x04 (the scaled
// LED colour) and 0x01, which ends the sequence. Each goes through its
// guarded sender, so nothing leaves while the headset is absent.

#include "panel/hid_command_set.h"
#include "panel/profile_store.h"

#include <cstdint>

namespace panel {

// The headset's firmware reads the colour bytes of 0x04 in an order that
// differs between senders; both orders are kept as they were shipped.
enum class ColourOrder { GreenBlueRed, RedGreenBlue };

void pushLighting(HidCommandSet& hid, const OptionBlock& block, std::uint8_t enc,
                  ColourOrder order);

} // namespace panel
