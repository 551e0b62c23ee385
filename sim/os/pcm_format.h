// The record an audio engine opens a wave pin with for plain PCM: the
// extensible wave record after the data format's head. `bits` is a sample's
// container; the valid bits are all of it unless given (0), and the channels
// sit in the front positions unless a mask is given (0).
#pragma once

#include "platform/ks/data_format.h"

#include <cstdint>

namespace ossim {

ks::DataFormatWaveFormatExtensible pcmFormat(std::uint32_t rate, std::uint16_t bits,
                                             std::uint16_t channels, std::uint16_t validBits = 0,
                                             std::uint32_t channelMask = 0);

} // namespace ossim
