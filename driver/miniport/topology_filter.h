// The filter descriptor the topology miniport hands the port: pin, node and
// connection arrays made from the graph, the pins' and nodes' names, and
// the filter's categories. Every block is the filter's own and lives until
// it is freed.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/miniport/topology_graph.h"
#include "platform/io/device_object.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>

class CTopologyFilter {
public:
    // STATUS_INVALID_PARAMETER for a pin's endpoint type or a node's type
    // code that the filter has no row for; STATUS_INSUFFICIENT_RESOURCES when
    // a block cannot be had. Nothing is kept after a failure. The pin names
    // are read from the settings of the device.
    kernel::NTSTATUS Build(const CTopologyGraph& graph, io::DeviceObject* device);
    void Free();

    bool IsBuilt() const { return m_Descriptor.IsValid(); }
    const portcls::FilterDescriptor* Descriptor() const {
        return m_Descriptor.Get<portcls::FilterDescriptor>();
    }

private:
    kernel::NTSTATUS BuildPins(const CTopologyGraph& graph, io::DeviceObject* device);
    kernel::NTSTATUS BuildNodes(const CTopologyGraph& graph);
    kernel::NTSTATUS BuildConnections(const CTopologyGraph& graph);

    CPoolBuffer m_Descriptor;
    CPoolBuffer m_Pins;
    CPoolBuffer m_Nodes;
    CPoolBuffer m_Connections;
    // One name per pin and per node, so pins of the same kind keep names of their own.
    CPoolBuffer m_PinNames;
    CPoolBuffer m_NodeNames;
};
