#include "panel/macro_usage.h"

namespace panel {

namespace {

constexpr std::size_t kKeysFirst = 64, kKeysEnd = 128, kKeyBytes = 4;
constexpr std::uint8_t kMacroKey = 0x0A;

} // namespace

MacroSlotUse countMacroAssignments(const ProfileStore& profiles) {
    MacroSlotUse use{};
    for (unsigned p = 0; p < kProfiles; ++p) {
        MatrixBlock m{};
        profiles.matrix(p, m);
        for (std::size_t k = kKeysFirst; k < kKeysEnd; k += kKeyBytes)
            if (m[k] == kMacroKey && m[k + 2] < kMacroSlots) ++use[m[k + 2]];
    }
    return use;
}

QString slotFault(const MacroConfig& c) {
    if (c.index >= -1 && c.index < int(kMacroSlots)) return {};
    return QString("config/index=%1 is not a slot").arg(c.index);
}

std::optional<MacroConfig> reconciledConfig(const MacroConfig& c, const MacroSlotUse& use) {
    const MacroConfig unassigned{-1, c.repeat, 0};
    const bool noSlot = c.index < 0;
    const bool unused = c.usedTimes == 0;
    if (noSlot && unused) return std::nullopt;
    if (noSlot != unused || c.index >= int(kMacroSlots)) return unassigned;
    const int count = use[static_cast<std::size_t>(c.index)];
    if (c.usedTimes == count) return std::nullopt;
    if (count >= 1) return MacroConfig{c.index, c.repeat, count};
    return unassigned;
}

} // namespace panel
