#include "driver/miniport/topology_miniport.h"

#include "driver/engine/control_change.h"
#include "platform/ks/audio_properties.h"

namespace {

constexpr char16_t TopologyName[] = u"GlobalTopo";

} // namespace

// The port layer never aggregates a miniport, so the object is its own.
kernel::NTSTATUS CreateTopologyMiniport(kernel::IUnknown** unknown, const kernel::Guid&,
                                        kernel::IUnknown* outer, kernel::PoolType poolType) {
    if (unknown == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *unknown = nullptr;
    if (outer != nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CTopologyMiniport* miniport = nullptr;
    const kernel::NTSTATUS status =
        CreateDriverObject<CTopologyMiniport>(&miniport, nullptr, poolType, TopologyTag);
    if (kernel::succeeded(status)) *unknown = miniport->GetOuterUnknown();
    return status;
}

CTopologyMiniport::~CTopologyMiniport() { ReleaseAll(); }

kernel::NTSTATUS CTopologyMiniport::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, portcls::IID_IMiniport) || IsEqualId(id, portcls::IID_IMiniportTopology))
        return ReturnInterface(static_cast<portcls::IMiniportTopology*>(this), object);
    if (IsEqualId(id, portcls::IID_IPowerNotify))
        return ReturnInterface(static_cast<portcls::IPowerNotify*>(this), object);
    if (IsEqualId(id, IID_ISubdeviceName))
        return ReturnInterface(static_cast<ISubdeviceName*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(id, object);
}

kernel::NTSTATUS CTopologyMiniport::GetDescription(const portcls::FilterDescriptor** description) {
    if (description == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!m_Filter.IsBuilt()) return kernel::STATUS_DEVICE_CONFIGURATION_ERROR;
    *description = m_Filter.Descriptor();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTopologyMiniport::Init(kernel::IUnknown* unknownAdapter, const io::ResourceList*,
                                         portcls::IPortTopology* port) {
    if (port == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pPort != nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    port->AddRef();
    m_pPort = port;
    const kernel::NTSTATUS status = Build(unknownAdapter);
    if (!kernel::succeeded(status)) ReleaseAll();
    return status;
}

kernel::NTSTATUS CTopologyMiniport::Build(kernel::IUnknown* unknownAdapter) {
    if (unknownAdapter == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    void* face = nullptr;
    kernel::NTSTATUS status = unknownAdapter->QueryInterface(IID_IAudioHal, &face);
    if (!kernel::succeeded(status)) return status;
    m_pHal = static_cast<IAudioHal*>(face);

    status = m_Graph.Build(*m_pHal);
    if (kernel::succeeded(status)) status = m_Filter.Build(m_Graph, m_pHal->GetDeviceObject());
    if (!kernel::succeeded(status)) return status;

    face = nullptr;
    status = m_pPort->QueryInterface(portcls::IID_IPortEvents, &face);
    if (!kernel::succeeded(status)) return status;
    m_pPortEvents = static_cast<portcls::IPortEvents*>(face);
    return m_pHal->RegisterCallback(OnControlChange, this, &m_pRegistration);
}

void CTopologyMiniport::ReleaseAll() {
    if (m_pRegistration != nullptr && m_pHal != nullptr)
        m_pHal->UnregisterCallback(m_pRegistration);
    m_pRegistration = nullptr;
    if (m_pPortEvents != nullptr) m_pPortEvents->Release();
    m_pPortEvents = nullptr;
    if (m_pPort != nullptr) m_pPort->Release();
    m_pPort = nullptr;
    m_Filter.Free();
    m_Graph.Free();
    if (m_pHal != nullptr) m_pHal->Release();
    m_pHal = nullptr;
}

void CTopologyMiniport::PowerChangeNotify(io::DevicePowerState newState) {
    if (newState != m_PowerState && newState >= io::DevicePowerState::D0 &&
        newState <= io::DevicePowerState::D3)
        m_PowerState = newState;
}

kernel::NTSTATUS CTopologyMiniport::GetConnection(std::uint32_t entityId, std::uint32_t* pin) {
    if (pin == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *pin = 0;
    const std::uint32_t found = m_Graph.FindPin(entityId);
    if (found == CTopologyGraph::NotFound) return kernel::STATUS_UNSUCCESSFUL;
    *pin = found;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTopologyMiniport::GetName(const char16_t** name) {
    return ReportValue<const char16_t*>(TopologyName, name);
}

// The port hands every handler the miniport it was bound to, and only this
// miniport's tables name these handlers.
CTopologyMiniport* CTopologyMiniport::FromTarget(kernel::IUnknown* majorTarget) {
    return static_cast<CTopologyMiniport*>(
        static_cast<portcls::IMiniportTopology*>(static_cast<portcls::IMiniport*>(majorTarget)));
}

kernel::NTSTATUS CTopologyMiniport::AddEvent(portcls::EventEntry* entry) {
    if (entry == nullptr || m_pPortEvents == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    m_pPortEvents->AddEventToEventList(entry);
    return kernel::STATUS_SUCCESS;
}

void CTopologyMiniport::RaiseControlChange(std::uint32_t node) {
    if (m_pPortEvents == nullptr) return;
    m_pPortEvents->GenerateEventList(&ks::KSEVENTSETID_AudioControlChange,
                                     ks::KSEVENT_CONTROL_CHANGE, false, portcls::nodeNone, true,
                                     node);
}

void CTopologyMiniport::OnControlChange(void* context, void* message, void*) {
    if (context == nullptr || message == nullptr) return;
    const auto& change = *static_cast<const ControlChangeMessage*>(message);
    if (!IsControlChange(change)) return;
    auto* miniport = static_cast<CTopologyMiniport*>(context);
    const std::uint32_t node = miniport->m_Graph.FindNode(change.nodeId);
    if (node != CTopologyGraph::NotFound) miniport->RaiseControlChange(node);
}
