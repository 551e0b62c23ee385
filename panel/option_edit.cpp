#include "panel/option_edit.h"

#include "panel/option_block.h"

namespace panel {

void copyRuns(const QVariantList& src, std::span<const ByteRun> runs, OptionBlock& block) {
    for (const ByteRun& r : runs)
        for (std::size_t i = 0; i < r.count; ++i)
            block[r.dst + i] = static_cast<std::uint8_t>(src[static_cast<int>(r.src + i)].toUInt());
}

void settleLedMode(OptionBlock& block) {
    if (block[option::kLedEnable] != 1) block[option::kLedMode] = 1;
}

} // namespace panel
