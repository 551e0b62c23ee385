#pragma once

// How the page's lists land in an option block: runs of list entries copied
// to runs of block bytes, each entry's low byte.

#include "panel/profile_store.h"

#include <QVariantList>

#include <cstddef>
#include <span>

namespace panel {

struct ByteRun {
    std::size_t src; // first list entry
    std::size_t dst; // first block byte
    std::size_t count;
};

// The list must hold every entry the runs name.
void copyRuns(const QVariantList& src, std::span<const ByteRun> runs, OptionBlock& block);

// While the LEDs are not on, the headset keeps them in mode 1.
void settleLedMode(OptionBlock& block);

} // namespace panel
