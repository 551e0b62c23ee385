// Replies of the topology filter's property handlers: single words read
// from and written to the request's buffers, and the description a
// basic-support request gets, cut to the room the caller gave by the usual
// rules (under 4 bytes: the size needed; under the 40-byte head: the verbs
// only; under the whole: the head only).
#pragma once

#include "platform/ks/property_description.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>
#include <cstring>

namespace topology_reply {

inline constexpr std::uint32_t HeadSize = sizeof(ks::PropertyDescription);
inline constexpr std::uint32_t MembersOffset = HeadSize + sizeof(ks::PropertyMembersHeader);

// Verb sets a description announces.
inline constexpr std::uint32_t GetSetSupport =
    ks::property_verb::get | ks::property_verb::set | ks::property_verb::basicSupport;
inline constexpr std::uint32_t SetSupport =
    ks::property_verb::set | ks::property_verb::basicSupport;
inline constexpr std::uint32_t GetSupport =
    ks::property_verb::get | ks::property_verb::basicSupport;

struct Description {
    std::uint32_t accessFlags;
    std::uint32_t valueType;
    std::uint64_t fullSize; // head, members header and members
    ks::PropertyMembersHeader members;
    bool hasMembers;
    // What a room under 4 bytes is told it needs.
    bool sizeUnknownWhenTooSmall = false;
};

// Word `index` of the instance; false when the instance is shorter.
bool ReadInstanceWord(const portcls::PropertyRequest& request, std::uint32_t index,
                      std::uint32_t* word);
// The first word of the value; false when the value is shorter.
bool ReadValueWord(const portcls::PropertyRequest& request, std::uint32_t* word);
// The word as the whole reply (the room was checked by the caller).
kernel::NTSTATUS ReplyWord(portcls::PropertyRequest& request, std::uint32_t word);

// The sizing answers of a reply of `needed` bytes: no room, the size and
// STATUS_BUFFER_OVERFLOW; too little, the size and STATUS_BUFFER_TOO_SMALL;
// a size beyond 32 bits, STATUS_INVALID_PARAMETER. False when the room
// takes the reply.
bool AnswerSizing(portcls::PropertyRequest& request, std::uint64_t needed,
                  kernel::NTSTATUS* status);

// The head of the description when the room takes only that; false when
// the whole reply fits and the caller is to write the members at
// MembersOffset (the head and members header are written already).
bool ReplyDescriptionHead(portcls::PropertyRequest& request, const Description& description,
                          kernel::NTSTATUS* status);

template <class WriteMembers>
kernel::NTSTATUS ReplyDescription(portcls::PropertyRequest& request, const Description& description,
                                  WriteMembers writeMembers) {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (ReplyDescriptionHead(request, description, &status)) return status;
    writeMembers(static_cast<std::uint8_t*>(request.Value) + MembersOffset);
    return status;
}

// A description of values that are one identifier.
kernel::NTSTATUS ReplyIdentifier(portcls::PropertyRequest& request, std::uint32_t valueType,
                                 const kernel::Guid& identifier);

template <class Member> void WriteMember(std::uint8_t* at, const Member& member) {
    std::memcpy(at, &member, sizeof(member));
}

} // namespace topology_reply
