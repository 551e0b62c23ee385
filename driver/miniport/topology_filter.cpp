#include "driver/miniport/topology_filter.h"

#include "driver/common/interface_ids.h"
#include "driver/common/settings_store.h"
#include "driver/engine/device_specific_controls.h"
#include "driver/engine/effect_record_item.h"
#include "driver/engine/queried_interface.h"
#include "driver/miniport/topology_automation.h"
#include "driver/miniport/topology_kinds.h"
#include "platform/kernel/format.h"
#include "platform/ks/topology_ids.h"

#include <cstring>

namespace {

constexpr kernel::PoolType FilterPool = kernel::PoolType::NonPagedNx;

const kernel::Guid filterCategories[] = {ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_TOPOLOGY,
                                         GUID_ENUMERATION_PRIVATE_INTERFACE};

// Bridge pins carry an analog connection and no samples.
const ks::DataRange analogRange{sizeof(ks::DataRange),
                                0,
                                0,
                                0,
                                ks::KSDATAFORMAT_TYPE_AUDIO,
                                ks::KSDATAFORMAT_SUBTYPE_ANALOG,
                                ks::KSDATAFORMAT_SPECIFIER_NONE};
const portcls::DataRangeEntry analogRanges[] = {{&analogRange}};

// Longest name of a pin's setting, in characters.
constexpr std::size_t MaxPinSettingName = 49;

// A zeroed block of count records; none for a count of 0.
template <class Record> kernel::NTSTATUS AllocateZeroed(CPoolBuffer& block, std::uint32_t count) {
    if (count == 0) return kernel::STATUS_SUCCESS;
    block = CPoolBuffer(FilterPool, std::uint64_t{count} * sizeof(Record), TopologyTag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(block.Get(), 0, block.Size());
    return kernel::STATUS_SUCCESS;
}

// The pin's name from the setting "<base>_<index, two digits>"; false when
// the setting is missing or holds no identifier.
bool ReadPinName(io::DeviceObject* device, const char16_t* base, std::uint32_t pin,
                 kernel::Guid* name) {
    char16_t valueName[MaxPinSettingName + 1];
    if (device == nullptr || kernel::formatString(valueName, MaxPinSettingName + 1, u"%s_%02d",
                                                  base, pin) != kernel::STATUS_SUCCESS)
        return false;
    kernel::Guid read = {};
    std::uint32_t length = 0;
    if (!kernel::succeeded(AccessSettingEx(device, SETTING_READ, &read, sizeof(read), valueName,
                                           nullptr, io::REG_BINARY, &length)) ||
        length != sizeof(read))
        return false;
    *name = read;
    return true;
}

// The identifier an effect record or a control block names its node by.
bool ReadEntityName(IAudioNode* entity, NodeNameFrom from, kernel::Guid* name) {
    if (from == NodeNameFrom::EffectRecord) {
        CQueriedInterface<IEffectRecord> record(entity, IID_IEffectRecord);
        return record && kernel::succeeded(record->GetRecordIdentifier(name));
    }
    CQueriedInterface<IControlBlock> block(entity, IID_IControlBlock);
    return block && kernel::succeeded(block->GetBlockIdentifier(name));
}

} // namespace

kernel::NTSTATUS CTopologyFilter::Build(const CTopologyGraph& graph, io::DeviceObject* device) {
    Free();
    m_Descriptor = CPoolBuffer(FilterPool, sizeof(portcls::FilterDescriptor), TopologyTag);
    kernel::NTSTATUS status =
        m_Descriptor.IsValid() ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
    if (kernel::succeeded(status)) status = BuildPins(graph, device);
    if (kernel::succeeded(status)) status = BuildNodes(graph);
    if (kernel::succeeded(status)) status = BuildConnections(graph);
    if (!kernel::succeeded(status)) {
        Free();
        return status;
    }
    *m_Descriptor.Get<portcls::FilterDescriptor>() = {
        0,
        &topology_automation::filter,
        sizeof(portcls::PinDescriptor),
        graph.PinCount(),
        m_Pins.Get<portcls::PinDescriptor>(),
        sizeof(portcls::NodeDescriptor),
        graph.NodeCount(),
        m_Nodes.Get<portcls::NodeDescriptor>(),
        graph.ConnectionCount(),
        m_Connections.Get<portcls::ConnectionDescriptor>(),
        static_cast<std::uint32_t>(std::size(filterCategories)),
        filterCategories};
    return kernel::STATUS_SUCCESS;
}

void CTopologyFilter::Free() {
    m_Descriptor = CPoolBuffer();
    m_Pins = CPoolBuffer();
    m_Nodes = CPoolBuffer();
    m_Connections = CPoolBuffer();
    m_PinNames = CPoolBuffer();
    m_NodeNames = CPoolBuffer();
}

kernel::NTSTATUS CTopologyFilter::BuildPins(const CTopologyGraph& graph, io::DeviceObject* device) {
    const std::uint32_t count = graph.PinCount();
    kernel::NTSTATUS status = AllocateZeroed<portcls::PinDescriptor>(m_Pins, count);
    if (kernel::succeeded(status)) status = AllocateZeroed<kernel::Guid>(m_PinNames, count);
    for (std::uint32_t i = 0; i < count && kernel::succeeded(status); ++i) {
        const TopologyPin& pin = graph.Pin(i);
        TopologyPinKind kind = {};
        if (!FindPinKind(pin.endpointType, pin.output, &kind))
            return kernel::STATUS_INVALID_PARAMETER;
        const kernel::Guid* name = kind.name;
        kernel::Guid* ownName = m_PinNames.Get<kernel::Guid>() + i;
        if (kind.nameSetting != nullptr)
            name = ReadPinName(device, kind.nameSetting, i, ownName) ? ownName : kind.unsetName;
        m_Pins.Get<portcls::PinDescriptor>()[i] = {0,
                                                   0,
                                                   0,
                                                   nullptr,
                                                   0,
                                                   nullptr,
                                                   1,
                                                   analogRanges,
                                                   pin.output ? ks::PinDataFlow::Out
                                                              : ks::PinDataFlow::In,
                                                   ks::PinCommunication::None,
                                                   kind.category,
                                                   name};
    }
    return status;
}

kernel::NTSTATUS CTopologyFilter::BuildNodes(const CTopologyGraph& graph) {
    const std::uint32_t count = graph.NodeCount();
    kernel::NTSTATUS status = AllocateZeroed<portcls::NodeDescriptor>(m_Nodes, count);
    if (kernel::succeeded(status)) status = AllocateZeroed<kernel::Guid>(m_NodeNames, count);
    for (std::uint32_t i = 0; i < count && kernel::succeeded(status); ++i) {
        IAudioNode* entity = graph.Node(i).entity;
        const TopologyNodeKind* kind = FindNodeKind(entity->GetType(), entity->GetIdCount());
        if (kind == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        const kernel::Guid* name = kind->name;
        kernel::Guid* ownName = m_NodeNames.Get<kernel::Guid>() + i;
        if (kind->nameFrom != NodeNameFrom::Table)
            name = ReadEntityName(entity, kind->nameFrom, ownName) ? ownName : nullptr;
        m_Nodes.Get<portcls::NodeDescriptor>()[i] = {0, kind->automation, kind->type, name};
    }
    return status;
}

kernel::NTSTATUS CTopologyFilter::BuildConnections(const CTopologyGraph& graph) {
    const std::uint32_t count = graph.ConnectionCount();
    const kernel::NTSTATUS status =
        AllocateZeroed<portcls::ConnectionDescriptor>(m_Connections, count);
    if (kernel::succeeded(status) && count != 0)
        std::memcpy(m_Connections.Get(), graph.Connections(),
                    std::size_t{count} * sizeof(portcls::ConnectionDescriptor));
    return status;
}
