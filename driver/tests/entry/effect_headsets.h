// The chip headsets whose models carry effects (the T6L1's 3D speaker
// virtualizer, the Q7K2's reverberator and headphone virtualizer), how a
// user-mode program switches their effects on, and the 7.1 render pin they
// play through.
#pragma once

#include "platform/ks/data_format.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace e2e {

struct EffectHeadset {
    const char* name;
    usbsim::FunctionDescription (*describe)();
    int effects; // effect controls on its topology filter
};

extern const EffectHeadset EffectHeadsets[2];

// Both play 7.1 (front left, right and centre, low frequency, back left and
// right, side left and right) to endpoint 1.
inline constexpr std::uint16_t EffectRenderChannels = 8;
inline constexpr std::uint32_t SevenPointOne = 0x63F;
inline constexpr std::uint8_t EffectOutEndpoint = 0x01;

ks::DataFormatWaveFormatExtensible EffectRenderFormat();

// Every effect control of the topology filter switched on and read back (the
// parameter set's value 0, the effect unit set's switch), each request on a
// system thread; a failure unless `expected` of them took it.
::testing::AssertionResult SwitchEffectsOn(ossim::SimulatedSystem& system,
                                           const portcls::FilterHandle& topology, int expected);

// The first render wave filter the device registered; empty when none.
std::u16string RenderFilter(ossim::SimulatedSystem& system);

} // namespace e2e
