#include "driver/miniport/property_reply.h"

namespace topology_reply {

bool ReadInstanceWord(const portcls::PropertyRequest& request, std::uint32_t index,
                      std::uint32_t* word) {
    const std::uint64_t end = (std::uint64_t{index} + 1) * sizeof(std::uint32_t);
    if (request.Instance == nullptr || request.InstanceSize < end) return false;
    std::memcpy(word, static_cast<const std::uint8_t*>(request.Instance) + end - 4, 4);
    return true;
}

bool ReadValueWord(const portcls::PropertyRequest& request, std::uint32_t* word) {
    if (request.Value == nullptr || request.ValueSize < sizeof(std::uint32_t)) return false;
    std::memcpy(word, request.Value, sizeof(std::uint32_t));
    return true;
}

kernel::NTSTATUS ReplyWord(portcls::PropertyRequest& request, std::uint32_t word) {
    std::memcpy(request.Value, &word, sizeof(word));
    request.ValueSize = sizeof(word);
    return kernel::STATUS_SUCCESS;
}

bool AnswerSizing(portcls::PropertyRequest& request, std::uint64_t needed,
                  kernel::NTSTATUS* status) {
    if (needed > UINT32_MAX) {
        *status = kernel::STATUS_INVALID_PARAMETER;
        return true;
    }
    const bool noRoom = request.ValueSize == 0 || request.Value == nullptr;
    if (!noRoom && request.ValueSize >= needed) return false;
    request.ValueSize = static_cast<std::uint32_t>(needed);
    *status = noRoom ? kernel::STATUS_BUFFER_OVERFLOW : kernel::STATUS_BUFFER_TOO_SMALL;
    return true;
}

bool ReplyDescriptionHead(portcls::PropertyRequest& request, const Description& description,
                          kernel::NTSTATUS* status) {
    *status = kernel::STATUS_SUCCESS;
    if (description.fullSize > UINT32_MAX) {
        *status = kernel::STATUS_INVALID_PARAMETER;
        return true;
    }
    const auto fullSize = static_cast<std::uint32_t>(description.fullSize);
    if (request.Value == nullptr || request.ValueSize < sizeof(std::uint32_t)) {
        request.ValueSize = description.sizeUnknownWhenTooSmall ? 0 : fullSize;
        *status = kernel::STATUS_BUFFER_TOO_SMALL;
        return true;
    }
    auto* value = static_cast<std::uint8_t*>(request.Value);
    if (request.ValueSize < HeadSize) {
        std::memcpy(value, &description.accessFlags, sizeof(std::uint32_t));
        request.ValueSize = sizeof(std::uint32_t);
        return true;
    }
    const ks::PropertyDescription head{description.accessFlags,
                                       fullSize,
                                       {ks::KSPROPTYPESETID_General, description.valueType, 0},
                                       description.hasMembers ? 1u : 0u,
                                       0};
    std::memcpy(value, &head, HeadSize);
    if (request.ValueSize < fullSize || !description.hasMembers) {
        request.ValueSize = HeadSize;
        return true;
    }
    std::memcpy(value + HeadSize, &description.members, sizeof(description.members));
    request.ValueSize = fullSize;
    return false;
}

namespace {

// The one member of an identifier description.
struct IdentifierMember {
    std::uint32_t Size;
    kernel::Guid Identifier;
    std::uint32_t Reserved;
};
static_assert(sizeof(IdentifierMember) == 24);

} // namespace

kernel::NTSTATUS ReplyIdentifier(portcls::PropertyRequest& request, std::uint32_t valueType,
                                 const kernel::Guid& identifier) {
    const Description description{ks::property_verb::set | ks::property_verb::basicSupport,
                                  valueType,
                                  MembersOffset + sizeof(IdentifierMember),
                                  {ks::members_kind::values, sizeof(IdentifierMember), 1, 0},
                                  true};
    return ReplyDescription(request, description, [&](std::uint8_t* at) {
        WriteMember(at, IdentifierMember{sizeof(IdentifierMember), identifier, 0});
    });
}

} // namespace topology_reply
