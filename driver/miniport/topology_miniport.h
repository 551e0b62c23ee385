// The topology miniport: the device's entity graph as a filter of bridge
// pins and nodes, built once at Init from the audio HAL's children, with the
// property handlers of its automation tables and the control-change event,
// which it raises whenever the HAL announces a changed control.
#pragma once

#include "driver/common/object_model.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/subdevice_name.h"
#include "driver/miniport/topology_filter.h"
#include "driver/miniport/topology_graph.h"
#include "platform/portcls/events.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/port.h"

#include <cstdint>

class CTopologyMiniport : public CForwardingUnknown<CUnknown, portcls::IMiniportTopology,
                                                    portcls::IPowerNotify, ISubdeviceName> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    ~CTopologyMiniport() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // STATUS_DEVICE_CONFIGURATION_ERROR before a successful Init.
    kernel::NTSTATUS GetDescription(const portcls::FilterDescriptor** description) override;
    kernel::NTSTATUS DataRangeIntersection(std::uint32_t, const ks::DataRange*,
                                           const ks::DataRange*, std::uint32_t, void*,
                                           std::uint32_t*) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    // Builds the filter from the HAL the adapter answers. Once only: a
    // second call is STATUS_INVALID_DEVICE_REQUEST.
    kernel::NTSTATUS Init(kernel::IUnknown* unknownAdapter, const io::ResourceList* resourceList,
                          portcls::IPortTopology* port) override;
    void PowerChangeNotify(io::DevicePowerState newState) override;
    // The first pin whose terminal has the id.
    kernel::NTSTATUS GetConnection(std::uint32_t entityId, std::uint32_t* pin) override;
    kernel::NTSTATUS GetName(const char16_t** name) override;

    // What the property and event handlers read; the graph does not change after Init.
    static CTopologyMiniport* FromTarget(kernel::IUnknown* majorTarget);
    const CTopologyGraph& Graph() const { return m_Graph; }
    // Null for an index at or beyond the node count.
    IAudioNode* NodeEntity(std::uint32_t node) const {
        return node < m_Graph.NodeCount() ? m_Graph.Node(node).entity : nullptr;
    }
    kernel::NTSTATUS AddEvent(portcls::EventEntry* entry);
    void RaiseControlChange(std::uint32_t node);
    io::DevicePowerState GetPowerState() const { return m_PowerState; }

private:
    static void OnControlChange(void* context, void* message, void* unused);
    kernel::NTSTATUS Build(kernel::IUnknown* unknownAdapter);
    void ReleaseAll();

    portcls::IPortTopology* m_pPort = nullptr;
    portcls::IPortEvents* m_pPortEvents = nullptr;
    IAudioHal* m_pHal = nullptr;
    CTopologyGraph m_Graph;
    CTopologyFilter m_Filter;
    kernel::CallbackRegistration* m_pRegistration = nullptr;
    io::DevicePowerState m_PowerState = io::DevicePowerState::D0;
};

// The miniport's own unknown with one reference; STATUS_INSUFFICIENT_RESOURCES
// when it cannot be allocated, STATUS_INVALID_PARAMETER for an outer object.
kernel::NTSTATUS CreateTopologyMiniport(kernel::IUnknown** unknown, const kernel::Guid& classId,
                                        kernel::IUnknown* outer, kernel::PoolType poolType);
