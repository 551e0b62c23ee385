// The filter's own properties, keyed by pin (the instance is the pin
// index), and the control-change event of the nodes.
#include "driver/engine/audio_hal.h"
#include "driver/engine/terminal_item.h"
#include "driver/miniport/property_reply.h"
#include "driver/miniport/topology_handlers.h"
#include "driver/miniport/topology_request.h"
#include "driver/usermode/topology_properties.h"
#include "platform/ks/jack.h"

#include <cstring>

namespace topology_handlers {
namespace {

using namespace topology_reply;
using namespace topology_request;

constexpr std::uint32_t JackHeadSize = 2 * sizeof(std::uint32_t);
constexpr std::uint32_t TerminalRecordSize = sizeof(EndpointInfoRecord);

// The terminal of the pin named by the instance; null for an instance too
// short or a pin the filter lacks.
IAudioNode* PinEntity(const portcls::PropertyRequest& request) {
    std::uint32_t pin = 0;
    const CTopologyGraph& graph = Miniport(request).Graph();
    if (!ReadInstanceWord(request, 0, &pin) || pin >= graph.PinCount()) return nullptr;
    return graph.Pin(pin).entity;
}

// Jack and terminal properties are described without members, and a room
// under 4 bytes is told no size.
kernel::NTSTATUS DescribePinProperty(portcls::PropertyRequest& request) {
    const Description description{
        ks::property_verb::get | ks::property_verb::basicSupport, 0, HeadSize, {}, false, true};
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    ReplyDescriptionHead(request, description, &status);
    return status;
}

// Both jack replies: a head {size, count} and one entry per 36-byte record.
template <class Entry, class MakeEntry>
kernel::NTSTATUS ReplyJacks(portcls::PropertyRequest& request, MakeEntry makeEntry) {
    IAudioNode* entity = PinEntity(request);
    if (entity == nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (request.Verb == ks::property_verb::basicSupport) return DescribePinProperty(request);
    CHeldInterface<ITerminalInfo> info;
    kernel::NTSTATUS status = QueryFace(entity, IID_ITerminalInfo, info);
    if (!kernel::succeeded(status)) {
        request.ValueSize = 0;
        return status;
    }
    std::uint32_t count = 0;
    status = info->GetJackCount(&count, 0);
    if (!kernel::succeeded(status)) return status;
    if (count == 0) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const std::uint64_t needed = JackHeadSize + std::uint64_t{count} * sizeof(Entry);
    if (AnswerSizing(request, needed, &status)) return status;

    const std::uint64_t recordBytes = std::uint64_t{count} * sizeof(::JackDescription);
    if (recordBytes > UINT32_MAX) return kernel::STATUS_INVALID_PARAMETER;
    CPoolBuffer records(kernel::PoolType::NonPagedNx, recordBytes, TemporaryTag);
    if (!records.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    status = info->GetJackDescriptions(static_cast<std::uint32_t>(recordBytes), records.Get(), 0);
    if (!kernel::succeeded(status)) return status;

    auto* value = static_cast<std::uint8_t*>(request.Value);
    const std::uint32_t head[] = {static_cast<std::uint32_t>(needed), count};
    std::memcpy(value, head, sizeof(head));
    for (std::uint32_t i = 0; i < count; ++i) {
        const Entry entry = makeEntry(records.Get<::JackDescription>()[i]);
        std::memcpy(value + JackHeadSize + std::size_t{i} * sizeof(Entry), &entry, sizeof(entry));
    }
    request.ValueSize = static_cast<std::uint32_t>(needed);
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS Version(portcls::PropertyRequest* request) {
    if (!IsProperty(*request, PROPSETID_Level, LEVEL_VERSION) ||
        request->Verb != ks::property_verb::get)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    std::uint32_t room = 0;
    if (!ReadValueWord(*request, &room)) return kernel::STATUS_INVALID_PARAMETER;
    return ReplyWord(*request, TopologyInterfaceVersion);
}

kernel::NTSTATUS JackDescription(portcls::PropertyRequest* request) {
    return ReplyJacks<ks::JackDescription>(*request, [](const ::JackDescription& record) {
        return ks::JackDescription{record.ChannelMapping, record.Color,       record.ConnectionType,
                                   record.GeoLocation,    record.GenLocation, record.PortConnection,
                                   record.IsConnected};
    });
}

// A jack whose record has bit 0 of its reserved word set cannot tell
// whether something is plugged in.
kernel::NTSTATUS JackDescription2(portcls::PropertyRequest* request) {
    return ReplyJacks<ks::JackDescription2>(*request, [](const ::JackDescription& record) {
        return ks::JackDescription2{
            0, (record.Reserved & 1) == 0 ? ks::jack_capabilities::presenceDetection : 0};
    });
}

kernel::NTSTATUS TerminalRecord(portcls::PropertyRequest* request) {
    IAudioNode* entity = PinEntity(*request);
    if (entity == nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (request->Verb == ks::property_verb::basicSupport) return DescribePinProperty(*request);
    CHeldInterface<ITerminalInfo> info;
    kernel::NTSTATUS status = QueryFace(entity, IID_ITerminalInfo, info);
    if (!kernel::succeeded(status)) {
        request->ValueSize = 0;
        return status;
    }
    if (AnswerSizing(*request, TerminalRecordSize, &status)) return status;
    EndpointInfoRecord record = {};
    status = info->GetTerminalRecord(&record);
    if (!kernel::succeeded(status)) return status;
    std::memcpy(request->Value, &record, TerminalRecordSize);
    request->ValueSize = TerminalRecordSize;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS ControlChangeEvent(portcls::EventRequest* request) {
    CTopologyMiniport& miniport = *CTopologyMiniport::FromTarget(request->MajorTarget);
    if (request->Node >= miniport.Graph().NodeCount()) return kernel::STATUS_INVALID_PARAMETER;
    switch (request->Verb) {
    case portcls::event_verb::add:
        return miniport.AddEvent(request->EventEntry);
    case portcls::event_verb::remove:
    case portcls::event_verb::support:
        return kernel::STATUS_SUCCESS;
    default:
        return kernel::STATUS_INVALID_PARAMETER;
    }
}

} // namespace topology_handlers
