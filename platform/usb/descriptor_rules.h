// The one table of class-specific audio descriptors: for each release,
// interface subclass, descriptor type and subtype, the shortest length the
// descriptor's fixed part needs and the rule for its variable part (source
// lists, control bitmaps, rate tables). A descriptor passes only when its
// bLength covers both, so a reader that asked first never reads past it.
#pragma once

#include "platform/usb/audio_descriptors.h"
#include "platform/usb/descriptors.h"

#include <cstdint>
#include <optional>
#include <span>

namespace usb {

struct ClassDescriptorRule {
    AudioRelease release;
    std::uint8_t interfaceSubclass; // audio_subclass::control or ::streaming
    std::uint8_t descriptorType;    // descriptor_type::classInterface or ::classEndpoint
    std::uint8_t subtype;
    std::uint8_t minimumLength; // of the fixed part
    const char* name;
    // The variable part: null when the descriptor is long enough for it,
    // else what is wrong. Reads only bytes below the descriptor's length,
    // which is at least minimumLength. Null rule: no variable part.
    const char* (*variablePart)(std::span<const std::uint8_t> descriptor);
};

std::span<const ClassDescriptorRule> classDescriptorRules();

// What the class-specific descriptors after an interface descriptor are
// read as: those of an audio interface of a release the table has rules for
// (class audio, protocol of release 1 or 2), by its subclass.
struct AudioInterfaceKind {
    AudioRelease release;
    std::uint8_t subclass;
    friend bool operator==(const AudioInterfaceKind&, const AudioInterfaceKind&) = default;
};

// The one rule of which class-specific descriptors belong to an audio
// interface: those after an interface descriptor of which this gives a
// kind, up to the next interface descriptor. The validation checks exactly
// these against the table, and the device model reads exactly these, so
// nothing is read as an audio descriptor that was not checked as one.
std::optional<AudioInterfaceKind> audioInterfaceKind(const InterfaceDescriptor& interface);

// The rule for a descriptor of an audio interface, or null when the table
// has none (such a descriptor needs only its three header bytes).
const ClassDescriptorRule* findClassDescriptorRule(AudioRelease release,
                                                   std::uint8_t interfaceSubclass,
                                                   std::uint8_t descriptorType,
                                                   std::uint8_t subtype);

// Checks one class-specific descriptor of an audio interface, whose bytes
// are exactly its bLength: null when it passes, else what is wrong.
const char* checkClassDescriptor(AudioRelease release, std::uint8_t interfaceSubclass,
                                 std::span<const std::uint8_t> descriptor);

} // namespace usb
