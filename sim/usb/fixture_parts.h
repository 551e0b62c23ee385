// What the fixtures share: their vendor id and a function named by its strings.
#pragma once

#include "sim/usb/function_description.h"

#include <string_view>

namespace usbsim::fixtures {

inline constexpr std::uint16_t fixtureVendor = 0x5A17; // the maker's vendor id

// A function of a release with manufacturer string 1 and product string 2.
inline FunctionDescription namedFunction(AudioRelease release, std::uint16_t vendor,
                                         std::uint16_t product, std::u16string_view name) {
    FunctionDescription d;
    d.release = release;
    d.vendorId = vendor;
    d.productId = product;
    d.manufacturerString = 1;
    d.productString = 2;
    d.strings = {{1, u"Headset Works"}, {2, std::u16string(name)}};
    return d;
}

// A feature unit with mute on the master channel and volume on each logical
// channel (on the master when there is one channel).
inline FeatureUnit muteAndVolume(std::uint8_t id, std::uint8_t source, std::uint8_t channels,
                                 ControlRange range, std::int32_t initialVolume = 0) {
    std::vector<std::uint8_t> logical;
    for (std::uint8_t c = 1; c <= channels; ++c) logical.push_back(c);
    if (channels == 1) logical = {0};
    return {.id = id,
            .source = source,
            .channels = channels,
            .controls = {{.selector = usb::feature_control::mute, .channels = {0}},
                         {.selector = usb::feature_control::volume,
                          .channels = logical,
                          .initial = initialVolume,
                          .range = range}}};
}

} // namespace usbsim::fixtures
