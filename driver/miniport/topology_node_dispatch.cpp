// The device-specific property and the driver's private node sets: the
// node's item type decides which control face answers and how.
#include "driver/engine/device_specific_controls.h"
#include "driver/engine/effect_parameters_item.h"
#include "driver/engine/effect_record_item.h"
#include "driver/engine/engine_binding.h"
#include "driver/engine/level_item.h"
#include "driver/engine/on_off_item.h"
#include "driver/engine/terminal_type_item.h"
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
using portcls::PropertyRequest;

constexpr std::uint32_t Word = sizeof(std::uint32_t);

bool IsGet(const PropertyRequest& request) { return request.Verb == ks::property_verb::get; }
bool IsSet(const PropertyRequest& request) { return request.Verb == ks::property_verb::set; }
bool IsSupport(const PropertyRequest& request) {
    return request.Verb == ks::property_verb::basicSupport;
}

kernel::NTSTATUS ReplyStatusWord(PropertyRequest& request, kernel::NTSTATUS status,
                                 std::uint32_t word) {
    return kernel::succeeded(status) ? ReplyWord(request, word) : status;
}

kernel::NTSTATUS SetDone(PropertyRequest& request, kernel::NTSTATUS status) {
    if (kernel::succeeded(status)) request.ValueSize = Word;
    return status;
}

// The node name of the type's own row.
const kernel::Guid& TableName(IAudioNode& entity) {
    return *FindNodeKind(entity.GetType(), entity.GetIdCount())->name;
}

// The two parameter faces (the effect parameters and the vendor effect
// record) under one set of names.
struct ParametersOf {
    IEffectParameters& face;
    kernel::NTSTATUS Identifier(kernel::Guid* id) { return face.GetIdentifier(id); }
    kernel::NTSTATUS Count(std::uint32_t* count) { return face.GetParameterCount(count); }
    kernel::NTSTATUS Get(std::uint32_t first, std::uint32_t count, std::uint32_t* values) {
        return face.GetParameters(first, count, values);
    }
    kernel::NTSTATUS Set(std::uint32_t first, std::uint32_t count, const std::uint32_t* values) {
        return face.SetParameters(first, count, values);
    }
    kernel::NTSTATUS Info(std::uint32_t index, std::uint32_t* words) {
        return face.GetParameterInfo(index, &words[0], &words[1], &words[2]);
    }
};
struct RecordParametersOf {
    IEffectRecord& face;
    kernel::NTSTATUS Identifier(kernel::Guid* id) { return face.GetRecordIdentifier(id); }
    kernel::NTSTATUS Count(std::uint32_t* count) { return face.GetRecordParameterCount(count); }
    kernel::NTSTATUS Get(std::uint32_t first, std::uint32_t count, std::uint32_t* values) {
        return face.GetRecordParameters(first, count, values);
    }
    kernel::NTSTATUS Set(std::uint32_t first, std::uint32_t count, const std::uint32_t* values) {
        return face.SetRecordParameters(first, count, values);
    }
    kernel::NTSTATUS Info(std::uint32_t index, std::uint32_t* words) {
        return face.GetRecordParameterInfo(index, &words[0], &words[1], &words[2]);
    }
};

// SET of parameters: the instance is {first, count, count values}. An
// instance that does not hold exactly count values within the parameters
// is ignored and the request still succeeds.
template <class Parameters>
kernel::NTSTATUS SetParameters(PropertyRequest& request, Parameters parameters,
                               std::uint32_t parameterCount) {
    std::uint32_t first = 0, count = 0;
    if (request.InstanceSize < 3 * Word || !ReadInstanceWord(request, 0, &first) ||
        !ReadInstanceWord(request, 1, &count) ||
        (request.InstanceSize - 2 * Word) / Word != count ||
        std::uint64_t{first} + count > parameterCount)
        return kernel::STATUS_SUCCESS;
    const auto* values = reinterpret_cast<const std::uint32_t*>(
        static_cast<const std::uint8_t*>(request.Instance) + 2 * Word);
    return SetDone(request, parameters.Set(first, count, values));
}

// GET of parameters: the instance is {first, count}, within the
// parameters (the control is never asked for more than it has); the reply
// {size, count, values}.
template <class Parameters>
kernel::NTSTATUS GetParameters(PropertyRequest& request, Parameters parameters,
                               std::uint32_t parameterCount) {
    std::uint32_t first = 0, count = 0;
    if (!ReadInstanceWord(request, 0, &first) || !ReadInstanceWord(request, 1, &count) ||
        std::uint64_t{first} + count > parameterCount)
        return kernel::STATUS_INVALID_PARAMETER;
    const std::uint64_t needed = 2 * Word + std::uint64_t{count} * Word;
    if (needed > UINT32_MAX || request.Value == nullptr || request.ValueSize < needed)
        return kernel::STATUS_INVALID_PARAMETER;
    auto* value = static_cast<std::uint8_t*>(request.Value);
    const kernel::NTSTATUS status =
        parameters.Get(first, count, reinterpret_cast<std::uint32_t*>(value + 2 * Word));
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t head[] = {static_cast<std::uint32_t>(needed), count};
    std::memcpy(value, head, sizeof(head));
    request.ValueSize = static_cast<std::uint32_t>(needed);
    return kernel::STATUS_SUCCESS;
}

template <class Parameters>
kernel::NTSTATUS GetParameterInfo(PropertyRequest& request, Parameters parameters) {
    std::uint32_t index = 0;
    if (!ReadInstanceWord(request, 0, &index) || request.Value == nullptr ||
        request.ValueSize < 3 * Word)
        return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t words[3] = {};
    const kernel::NTSTATUS status = parameters.Info(index, words);
    if (!kernel::succeeded(status)) return status;
    std::memcpy(request.Value, words, sizeof(words));
    request.ValueSize = sizeof(words);
    return kernel::STATUS_SUCCESS;
}

template <class Parameters>
kernel::NTSTATUS GetIdentifier(PropertyRequest& request, Parameters parameters) {
    if (request.Value == nullptr || request.ValueSize < sizeof(kernel::Guid))
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::Guid identifier = {};
    const kernel::NTSTATUS status = parameters.Identifier(&identifier);
    if (!kernel::succeeded(status)) return status;
    std::memcpy(request.Value, &identifier, sizeof(identifier));
    request.ValueSize = sizeof(identifier);
    return kernel::STATUS_SUCCESS;
}

// The parameter ids that both parameter sets share, by role.
struct ParameterIds {
    std::uint32_t info, count, parameterInfo, parameters, setParameters;
};

template <class Parameters>
kernel::NTSTATUS ServeParameterSet(PropertyRequest& request, Parameters parameters,
                                   std::uint32_t parameterCount, const ParameterIds& ids) {
    const std::uint32_t id = request.PropertyItem->Id;
    if (IsSet(request))
        return id == ids.setParameters ? SetParameters(request, parameters, parameterCount)
                                       : kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (!IsGet(request)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (id == ids.info) return GetIdentifier(request, parameters);
    if (id == ids.parameters) return GetParameters(request, parameters, parameterCount);
    if (id == ids.parameterInfo) return GetParameterInfo(request, parameters);
    if (id != ids.count) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    std::uint32_t room = 0;
    if (!ReadValueWord(request, &room)) return kernel::STATUS_INVALID_PARAMETER;
    return ReplyWord(request, parameterCount);
}

// Item type 8: a value per channel, described as one value with its range.
kernel::NTSTATUS ServeLevel(PropertyRequest& request, IAudioNode& entity) {
    CHeldInterface<ILevelControl> level;
    kernel::NTSTATUS status = QueryFace(&entity, IID_ILevelControl, level);
    if (!kernel::succeeded(status)) return status;
    if (IsSupport(request)) {
        struct RangeMember {
            std::uint32_t size;
            kernel::Guid name;
            std::uint32_t rangeBytes;
            std::int32_t maximum, minimum, step;
        };
        static_assert(sizeof(RangeMember) == 36);
        RangeMember member{sizeof(RangeMember), TableName(entity), 3 * Word, 0, 0, 0};
        status = level->GetLevelRange(&member.maximum, &member.minimum, &member.step);
        if (!kernel::succeeded(status)) return status;
        const Description description{GetSetSupport,
                                      ks::value_type::i4,
                                      MembersOffset + sizeof(RangeMember),
                                      {ks::members_kind::values, sizeof(RangeMember), 1, 0},
                                      true};
        return ReplyDescription(request, description,
                                [&](std::uint8_t* at) { WriteMember(at, member); });
    }
    std::uint32_t channel = 0, value = 0;
    if (!ReadInstanceWord(request, 0, &channel) || !ReadValueWord(request, &value))
        return kernel::STATUS_INVALID_PARAMETER;
    if (IsGet(request)) {
        std::int32_t current = 0;
        status = level->GetLevel(channel, &current);
        return ReplyStatusWord(request, status, static_cast<std::uint32_t>(current));
    }
    return SetDone(request, level->SetLevel(channel, static_cast<std::int32_t>(value)));
}

// Item type 13: the terminal type a terminal plays as, and the types it may.
kernel::NTSTATUS ServeTypeSelection(PropertyRequest& request, IAudioNode& entity) {
    const bool typeList = IsInSet(request, PROPSETID_TypeList);
    if (!typeList && !IsInSet(request, ks::KSPROPSETID_Audio))
        return kernel::STATUS_INVALID_PARAMETER;
    CHeldInterface<ITerminalTypeSelection> selection;
    kernel::NTSTATUS status = QueryFace(&entity, IID_ITerminalTypeSelection, selection);
    if (!kernel::succeeded(status)) return status;
    if (!typeList) {
        if (IsSupport(request))
            return ReplyIdentifier(request, ks::value_type::i4, TableName(entity));
        std::uint32_t value = 0;
        if (!IsSet(request)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
        if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
        return SetDone(request, selection->SelectType(value));
    }
    if (!IsGet(request)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    std::uint32_t count = 1;
    if (request.PropertyItem->Id == TYPELIST_LIST) {
        status = selection->GetTypeCount(&count);
        if (!kernel::succeeded(status)) return status;
    }
    const std::uint64_t needed =
        request.PropertyItem->Id == TYPELIST_LIST ? 2 * Word + std::uint64_t{count} * Word : Word;
    if (AnswerSizing(request, needed, &status)) return status;
    if (request.PropertyItem->Id != TYPELIST_LIST) {
        std::uint32_t current = 0;
        status = selection->GetCurrentType(&current);
        return ReplyStatusWord(request, status, current);
    }
    auto* value = static_cast<std::uint8_t*>(request.Value);
    status = selection->GetTypes(count, reinterpret_cast<std::uint32_t*>(value + 2 * Word));
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t head[] = {static_cast<std::uint32_t>(needed), count};
    std::memcpy(value, head, sizeof(head));
    request.ValueSize = static_cast<std::uint32_t>(needed);
    return kernel::STATUS_SUCCESS;
}

// Item types 15 and 19: a value the capture endpoint works with.
kernel::NTSTATUS ServeCaptureBound(PropertyRequest& request, IAudioNode& entity,
                                   const kernel::Guid& face) {
    if (!IsInSet(request, ks::KSPROPSETID_Audio)) return kernel::STATUS_UNSUCCESSFUL;
    CHeldInterface<ICaptureBound> bound;
    kernel::NTSTATUS status = QueryFace(&entity, face, bound);
    if (!kernel::succeeded(status)) return status;
    if (IsSupport(request))
        return ReplyIdentifier(request, ks::value_type::boolean, TableName(entity));
    std::uint32_t value = 0;
    if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    if (IsSet(request)) return SetDone(request, bound->SetBoundValue(value));
    status = bound->GetBoundValue(&value);
    return ReplyStatusWord(request, status, value);
}

// Item type 17: one value within a range of its own.
kernel::NTSTATUS ServeRangedValue(PropertyRequest& request, IAudioNode& entity) {
    CHeldInterface<IRangedValueControl> ranged;
    kernel::NTSTATUS status = QueryFace(&entity, IID_IRangedValueControl, ranged);
    if (!kernel::succeeded(status)) return status;
    if (IsSupport(request)) {
        std::uint32_t maximum = 0, minimum = 0;
        status = ranged->GetValueRange(&maximum, &minimum);
        if (!kernel::succeeded(status)) return status;
        const Description description{
            GetSetSupport,
            ks::value_type::ui4,
            MembersOffset + sizeof(ks::PropertyBoundsLong),
            {ks::members_kind::ranges, sizeof(ks::PropertyBoundsLong), 1, 0},
            true};
        const ks::PropertyBoundsLong bounds{static_cast<std::int32_t>(minimum),
                                            static_cast<std::int32_t>(maximum)};
        return ReplyDescription(request, description,
                                [&](std::uint8_t* at) { WriteMember(at, bounds); });
    }
    std::uint32_t value = 0;
    if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    if (IsSet(request)) return SetDone(request, ranged->SetRangedValue(value));
    status = ranged->GetRangedValue(&value);
    return ReplyStatusWord(request, status, value);
}

// Item types 18 and 22: one switch, on channel 0.
kernel::NTSTATUS ServeSwitch(PropertyRequest& request, IAudioNode& entity) {
    CHeldInterface<IOnOffControl> onOff;
    kernel::NTSTATUS status = QueryFace(&entity, IID_IOnOffControl, onOff);
    if (!kernel::succeeded(status)) return status;
    if (IsSupport(request)) {
        const Description description{GetSetSupport, ks::value_type::boolean, HeadSize, {}, false};
        return ReplyDescription(request, description, [](std::uint8_t*) {});
    }
    std::uint32_t value = 0;
    if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    if (IsSet(request)) return SetDone(request, onOff->SetOnOff(0, value != 0 ? 1 : 0));
    std::uint8_t current = 0;
    status = onOff->GetOnOff(0, &current);
    return ReplyStatusWord(request, status, current);
}

// Item type 20: the effect parameters.
kernel::NTSTATUS ServeEffectParameters(PropertyRequest& request, IAudioNode& entity) {
    const bool parameterSet = IsInSet(request, PROPSETID_Parameters);
    if (!parameterSet && !IsInSet(request, ks::KSPROPSETID_Audio))
        return kernel::STATUS_INVALID_PARAMETER;
    CHeldInterface<IEffectParameters> face;
    kernel::NTSTATUS status = QueryFace(&entity, IID_IEffectParameters, face);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t parameterCount = 0;
    status = face->GetParameterCount(&parameterCount);
    if (!kernel::succeeded(status)) return status;
    if (parameterSet)
        return ServeParameterSet(request, ParametersOf{*face.Get()}, parameterCount,
                                 {PARAMETERS_INFO, PARAMETERS_COUNT, PARAMETERS_PARAMETER_INFO,
                                  PARAMETERS_GET, PARAMETERS_SET});
    if (IsSupport(request))
        return ReplyIdentifier(request, ks::value_type::i4, PROPSETID_Parameters);
    std::uint32_t value = 0;
    if (!IsSet(request)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    request.ValueSize = Word;
    return kernel::STATUS_SUCCESS;
}

// Item type 23: the vendor effect record, its enable and its parameters.
kernel::NTSTATUS ServeEffectRecord(PropertyRequest& request, IAudioNode& entity) {
    const bool effectSet = IsInSet(request, PROPSETID_EffectUnit);
    if (!effectSet && !IsInSet(request, ks::KSPROPSETID_Audio)) return kernel::STATUS_UNSUCCESSFUL;
    CHeldInterface<IEffectRecord> face;
    kernel::NTSTATUS status = QueryFace(&entity, IID_IEffectRecord, face);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t parameterCount = 0;
    status = face->GetRecordParameterCount(&parameterCount);
    if (!kernel::succeeded(status)) return status;
    if (effectSet)
        return ServeParameterSet(request, RecordParametersOf{*face.Get()}, parameterCount,
                                 {EFFECTUNIT_INFO, EFFECTUNIT_COUNT, EFFECTUNIT_PARAMETER_INFO,
                                  EFFECTUNIT_PARAMETERS, EFFECTUNIT_PARAMETERS});
    if (IsSupport(request))
        return ReplyIdentifier(request, ks::value_type::boolean, PROPSETID_EffectUnit);
    std::uint32_t value = 0;
    if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    if (IsSet(request))
        return SetDone(request, face->SetEnable(*static_cast<const std::uint8_t*>(request.Value)));
    std::uint8_t enable = 0;
    status = face->GetEnable(&enable);
    return ReplyStatusWord(request, status, enable);
}

// Item type 24: a block of bytes, as long as the caller's buffer.
kernel::NTSTATUS ServeControlBlock(PropertyRequest& request, IAudioNode& entity) {
    if (!IsProperty(request, PROPSETID_Block, BLOCK_DATA)) return kernel::STATUS_UNSUCCESSFUL;
    CHeldInterface<IControlBlock> block;
    kernel::NTSTATUS status = QueryFace(&entity, IID_IControlBlock, block);
    if (!kernel::succeeded(status)) return status;
    if (IsSupport(request))
        return ReplyIdentifier(request, ks::value_type::boolean, PROPSETID_Block);
    if (request.Value == nullptr || request.ValueSize < Word)
        return kernel::STATUS_INVALID_PARAMETER;
    if (IsSet(request)) return SetDone(request, block->SetBlock(request.ValueSize, request.Value));
    std::uint32_t written = 0;
    status = block->GetBlock(request.ValueSize, request.Value, &written);
    if (kernel::succeeded(status)) request.ValueSize = std::min(written, request.ValueSize);
    return status;
}

// Any other node (a selector with fewer than two inputs): a SET is taken
// and changes nothing, there is nothing to GET.
kernel::NTSTATUS ServeOther(PropertyRequest& request) {
    if (IsSupport(request)) {
        const Description description{
            ks::property_verb::set | ks::property_verb::basicSupport,
            ks::value_type::ui4,
            MembersOffset + sizeof(ks::PropertyBoundsLong),
            {ks::members_kind::ranges, sizeof(ks::PropertyBoundsLong), 1, 0},
            true};
        return ReplyDescription(request, description, [](std::uint8_t* at) {
            WriteMember(at, ks::PropertyBoundsLong{0, -1});
        });
    }
    if (IsGet(request)) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t value = 0;
    if (!ReadValueWord(request, &value)) return kernel::STATUS_INVALID_PARAMETER;
    request.ValueSize = Word;
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS DeviceSpecific(PropertyRequest* request) {
    IAudioNode* entity = NodeEntity(*request);
    if (entity == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    switch (entity->GetType()) {
    case item_type::level:
        return ServeLevel(*request, *entity);
    case item_type::terminalTypeSelection:
        return ServeTypeSelection(*request, *entity);
    case item_type::captureBoundControl:
        return ServeCaptureBound(*request, *entity, IID_ICaptureBoundControl);
    case item_type::captureBoundSwitch:
        return ServeCaptureBound(*request, *entity, IID_ICaptureBoundSwitch);
    case item_type::rangedValue:
        return ServeRangedValue(*request, *entity);
    case item_type::onOff:
    case item_type::deviceSwitch:
        return ServeSwitch(*request, *entity);
    case item_type::effectParameters:
        return ServeEffectParameters(*request, *entity);
    case item_type::effectRecord:
        return ServeEffectRecord(*request, *entity);
    case item_type::controlBlock:
        return ServeControlBlock(*request, *entity);
    default:
        return ServeOther(*request);
    }
}

} // namespace topology_handlers
