// Builds a described function's descriptors: the device descriptor, the
// configuration descriptor with everything that belongs to it, and the
// string descriptors by index and language. A description the descriptors
// cannot express (ids that repeat or name nothing, a control outside its
// unit's bitmap, a descriptor past 255 bytes...) is refused with
// std::invalid_argument saying what is wrong.
#pragma once

#include "sim/usb/function_description.h"

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>

namespace usbsim {

struct BuiltDescriptors {
    Bytes device;
    Bytes configuration; // the raw bytes when the description gives them
    Bytes languages;     // string descriptor 0
    std::map<std::pair<std::uint8_t, std::uint16_t>, Bytes> strings; // by index and language
};

BuiltDescriptors buildDescriptors(const FunctionDescription& description);

// The configuration the description's graph and interfaces make, whatever
// raw bytes it gives.
Bytes buildConfiguration(const FunctionDescription& description);

Bytes stringDescriptor(std::u16string_view text);

// Parts of the configuration, for buildConfiguration.
class ByteWriter;
void writeAudioControl(ByteWriter& out, const FunctionDescription& description);
void writeStreaming(ByteWriter& out, const FunctionDescription& description);

// The entity with an id, or null.
const Entity* findEntity(const FunctionDescription& description, std::uint8_t id);
std::uint8_t entityId(const Entity& entity);

// Release 1 bControlSize of a feature unit: as given, or the fewest bytes
// that hold its highest selector.
std::uint8_t featureControlSize(const FeatureUnit& unit);

} // namespace usbsim
