// The standard audio properties of the nodes (levels, switches, the
// multiplexer) and the identifier that names a device-specific node.
#include "driver/engine/level_item.h"
#include "driver/engine/on_off_item.h"
#include "driver/engine/selector_item.h"
#include "driver/miniport/property_reply.h"
#include "driver/miniport/topology_handlers.h"
#include "driver/miniport/topology_kinds.h"
#include "driver/miniport/topology_request.h"
#include "driver/usermode/topology_properties.h"
#include "platform/ks/audio_properties.h"

#include <cstring>

namespace topology_handlers {
namespace {

using namespace topology_reply;
using namespace topology_request;

// The level property each level node answers; every one also takes the
// notifying level of the driver's own set.
bool LevelFitsNode(const portcls::PropertyRequest& request, std::uint32_t type) {
    if (IsProperty(request, PROPSETID_Level, LEVEL_NOTIFYING)) return true;
    if (!IsInSet(request, ks::KSPROPSETID_Audio)) return false;
    switch (request.PropertyItem->Id) {
    case ks::KSPROPERTY_AUDIO_VOLUMELEVEL:
        return type == item_type::volume || type == 16;
    case ks::KSPROPERTY_AUDIO_BASS:
        return type == item_type::bass;
    case ks::KSPROPERTY_AUDIO_MID:
        return type == item_type::mid;
    case ks::KSPROPERTY_AUDIO_TREBLE:
        return type == item_type::treble;
    default:
        return false;
    }
}

// The description of a per-channel property: one stepped range per channel.
Description ChannelDescription(std::uint32_t valueType, std::uint32_t channels) {
    return {GetSetSupport,
            valueType,
            MembersOffset + std::uint64_t{channels} * sizeof(ks::PropertySteppingLong),
            {ks::members_kind::steppedRanges, sizeof(ks::PropertySteppingLong), channels,
             ks::members_flags::basicSupportMultichannel},
            true};
}

kernel::NTSTATUS DescribeChannels(portcls::PropertyRequest& request, std::uint32_t valueType,
                                  std::uint32_t channels, const ks::PropertySteppingLong& range) {
    return ReplyDescription(request, ChannelDescription(valueType, channels),
                            [&](std::uint8_t* at) {
                                for (std::uint32_t i = 0; i < channels; ++i)
                                    WriteMember(at + std::size_t{i} * sizeof(range), range);
                            });
}

// The channel and the value word of a GET or SET.
bool ReadChannelAndValue(const portcls::PropertyRequest& request, std::uint32_t* channel,
                         std::uint32_t* value) {
    return ReadInstanceWord(request, 0, channel) && ReadValueWord(request, value);
}

} // namespace

kernel::NTSTATUS Level(portcls::PropertyRequest* request) {
    IAudioNode* entity = NodeEntity(*request);
    if (entity == nullptr || !LevelFitsNode(*request, entity->GetType()))
        return kernel::STATUS_INVALID_PARAMETER;
    CHeldInterface<ILevelControl> level;
    kernel::NTSTATUS status = QueryFace(entity, IID_ILevelControl, level);
    if (!kernel::succeeded(status)) return status;

    if (request->Verb == ks::property_verb::basicSupport) {
        std::uint32_t channels = 0;
        std::int32_t maximum = 0, minimum = 0, step = 0;
        status = level->GetLevelChannelCount(&channels);
        if (kernel::succeeded(status)) status = level->GetLevelRange(&maximum, &minimum, &step);
        if (!kernel::succeeded(status)) return status;
        return DescribeChannels(*request, ks::value_type::i4, channels,
                                {static_cast<std::uint32_t>(step), 0, {minimum, maximum}});
    }
    std::uint32_t channel = 0, value = 0;
    if (!ReadChannelAndValue(*request, &channel, &value)) return kernel::STATUS_INVALID_PARAMETER;
    if (request->Verb == ks::property_verb::get) {
        std::int32_t current = 0;
        status = level->GetLevel(channel, &current);
        return kernel::succeeded(status) ? ReplyWord(*request, static_cast<std::uint32_t>(current))
                                         : status;
    }
    status = level->SetLevel(channel, static_cast<std::int32_t>(value));
    if (!kernel::succeeded(status)) return status;
    request->ValueSize = sizeof(std::uint32_t);
    if (IsProperty(*request, PROPSETID_Level, LEVEL_NOTIFYING))
        Miniport(*request).RaiseControlChange(request->Node);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS OnOff(portcls::PropertyRequest* request) {
    IAudioNode* entity = NodeEntity(*request);
    if (entity == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CHeldInterface<IOnOffControl> onOff;
    kernel::NTSTATUS status = QueryFace(entity, IID_IOnOffControl, onOff);
    if (!kernel::succeeded(status)) return status;

    if (request->Verb == ks::property_verb::basicSupport) {
        std::uint32_t channels = 0;
        status = onOff->GetOnOffChannelCount(&channels);
        if (!kernel::succeeded(status)) return status;
        return DescribeChannels(*request, ks::value_type::boolean, channels, {1, 0, {0, 1}});
    }
    std::uint32_t channel = 0, value = 0;
    if (!ReadChannelAndValue(*request, &channel, &value)) return kernel::STATUS_INVALID_PARAMETER;
    if (request->Verb == ks::property_verb::get) {
        std::uint8_t current = 0;
        status = onOff->GetOnOff(channel, &current);
        return kernel::succeeded(status) ? ReplyWord(*request, current) : status;
    }
    status = onOff->SetOnOff(channel, value != 0 ? 1 : 0);
    if (kernel::succeeded(status)) request->ValueSize = sizeof(std::uint32_t);
    return status;
}

kernel::NTSTATUS Selector(portcls::PropertyRequest* request) {
    IAudioNode* entity = NodeEntity(*request);
    if (entity == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (request->Verb == ks::property_verb::basicSupport)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    std::uint32_t value = 0;
    if (!ReadValueWord(*request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    CHeldInterface<ISelectorControl> selector;
    kernel::NTSTATUS status = QueryFace(entity, IID_ISelectorControl, selector);
    if (!kernel::succeeded(status)) return status;
    if (request->Verb == ks::property_verb::get) {
        std::uint32_t input = 0;
        status = selector->GetCurrentInput(&input);
        return kernel::succeeded(status) ? ReplyWord(*request, input) : status;
    }
    status = selector->SetCurrentInput(value);
    if (kernel::succeeded(status)) request->ValueSize = sizeof(std::uint32_t);
    return status;
}

kernel::NTSTATUS NodeName(portcls::PropertyRequest* request) {
    IAudioNode* entity = NodeEntity(*request);
    if (entity == nullptr || request->Value == nullptr || request->ValueSize < sizeof(kernel::Guid))
        return kernel::STATUS_INVALID_PARAMETER;
    if (request->Verb != ks::property_verb::get) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const TopologyNodeKind* kind = FindNodeKind(entity->GetType(), entity->GetIdCount());
    if (kind == nullptr || kind->identifier == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::memcpy(request->Value, kind->identifier, sizeof(kernel::Guid));
    request->ValueSize = sizeof(kernel::Guid);
    return kernel::STATUS_SUCCESS;
}

} // namespace topology_handlers
