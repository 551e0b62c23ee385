// The reply to a basic-support request: a description of the property (the
// verbs it takes, the reply's whole size, the value's type) followed by its
// member lists, each a header and its members (ranges, stepped ranges or
// values). Pinned, as user mode reads it.
#pragma once

#include "platform/ks/identifier.h"

#include <cstddef>
#include <cstdint>

namespace ks {

struct PropertyDescription {
    std::uint32_t AccessFlags;     // the verbs the property takes
    std::uint32_t DescriptionSize; // bytes of the description and its members
    Identifier PropTypeSet;        // KSPROPTYPESETID_General and the value's type code
    std::uint32_t MembersListCount;
    std::uint32_t Reserved;
};
static_assert(sizeof(PropertyDescription) == 40 &&
              offsetof(PropertyDescription, PropTypeSet) == 8 &&
              offsetof(PropertyDescription, MembersListCount) == 32);

struct PropertyMembersHeader {
    std::uint32_t MembersFlags; // the kind of member (members_kind)
    std::uint32_t MembersSize;  // bytes of one member
    std::uint32_t MembersCount;
    std::uint32_t Flags;
};
static_assert(sizeof(PropertyMembersHeader) == 16);

namespace members_kind {
inline constexpr std::uint32_t ranges = 1;
inline constexpr std::uint32_t steppedRanges = 2;
inline constexpr std::uint32_t values = 3;
} // namespace members_kind

namespace members_flags {
// One member per channel, each giving that channel's range.
inline constexpr std::uint32_t basicSupportMultichannel = 2;
} // namespace members_flags

struct PropertyBoundsLong {
    std::int32_t SignedMinimum;
    std::int32_t SignedMaximum;
};
static_assert(sizeof(PropertyBoundsLong) == 8);

struct PropertySteppingLong {
    std::uint32_t SteppingDelta;
    std::uint32_t Reserved;
    PropertyBoundsLong Bounds;
};
static_assert(sizeof(PropertySteppingLong) == 16 && offsetof(PropertySteppingLong, Bounds) == 8);

// The set of the value type codes in PropTypeSet.
inline constexpr kernel::Guid KSPROPTYPESETID_General =
    kernel::makeGuid("{1B0A4947-D7B5-42BF-B61A-032544135A68}");

// Value type codes.
namespace value_type {
inline constexpr std::uint32_t i4 = 3; // signed 32-bit
inline constexpr std::uint32_t boolean = 11;
inline constexpr std::uint32_t ui4 = 19; // unsigned 32-bit
} // namespace value_type

} // namespace ks
