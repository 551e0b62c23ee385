#pragma once

// Which macro slots the key assignments of all profiles use, and what a
// macro file's slot and use count must become to agree with them.

#include "panel/macro_files.h"
#include "panel/profile_store.h"

#include <QString>

#include <array>
#include <optional>

namespace panel {

using MacroSlotUse = std::array<int, kMacroSlots>;

// Key codes 0A ?? slot ?? in bytes 64..127 of each profile's matrix block.
MacroSlotUse countMacroAssignments(const ProfileStore& profiles);

// What is wrong with a file's slot, when it names none the headset has and
// is not -1 (none); empty otherwise.
QString slotFault(const MacroConfig& config);

// The configuration to write, or nothing when the file already agrees.
std::optional<MacroConfig> reconciledConfig(const MacroConfig& config, const MacroSlotUse& use);

} // namespace panel
