// What the N3W8 model hands each of its own entity classes when it parses
// one: the chip's registers (the model owns them and outlives its
// entities) and the outputs the product offers.
#pragma once

#include "driver/usbstream/chip_registers.h"
#include "platform/kernel/pool.h"

inline constexpr kernel::PoolTag N3W8EntityTag = kernel::poolTag("N3W8");

struct N3W8EntityContext {
    IChipRegisters* registers = nullptr;
    bool headphones = true;    // the output terminal offers headphones
    bool spdif = true;         // and S/PDIF
    bool eightChannels = true; // its speakers have the fourth (side) jack
};
