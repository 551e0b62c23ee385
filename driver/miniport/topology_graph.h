// The entity graph of the device as the topology filter shows it: one pin
// per terminal control item (streaming terminals first, the last found
// first), one node per other control item except the clock, and the
// connections from every output terminal's pin back through the nodes
// upstream of it. The graph holds a reference on every entity it lists and
// does not change once built.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/engine/audio_hal.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>

// Every block of the topology miniport lives under this tag.
inline constexpr kernel::PoolTag TopologyTag = kernel::poolTag("TOPO");

// Endpoint type codes of terminals (0 "Stream" to 18 "Rec").
namespace endpoint_type {
inline constexpr std::uint32_t stream = 0;
inline constexpr std::uint32_t highestPinType = 17;
} // namespace endpoint_type

struct TopologyPin {
    IAudioNode* entity; // with a reference
    std::uint32_t endpointType;
    bool output; // the control of an output terminal: data leaves the filter here
};

struct TopologyNode {
    IAudioNode* entity; // with a reference
};

class CTopologyGraph {
public:
    static constexpr std::uint32_t NotFound = 0xFFFFFFFFu;

    CTopologyGraph() = default;
    ~CTopologyGraph() { Free(); }
    CTopologyGraph(const CTopologyGraph&) = delete;
    CTopologyGraph& operator=(const CTopologyGraph&) = delete;

    // Reads the HAL's children. STATUS_INSUFFICIENT_RESOURCES when a list
    // cannot be had, STATUS_UNSUCCESSFUL for a source id that names neither
    // a pin nor a node or that leads round in a loop; nothing is kept then.
    kernel::NTSTATUS Build(IAudioHal& hal);
    void Free();

    std::uint32_t PinCount() const { return m_ulPins; }
    std::uint32_t NodeCount() const { return m_ulNodes; }
    std::uint32_t ConnectionCount() const { return m_ulConnections; }
    const TopologyPin& Pin(std::uint32_t index) const { return m_Pins.Get<TopologyPin>()[index]; }
    const TopologyNode& Node(std::uint32_t index) const {
        return m_Nodes.Get<TopologyNode>()[index];
    }
    const portcls::ConnectionDescriptor* Connections() const {
        return m_Connections.Get<portcls::ConnectionDescriptor>();
    }
    // The first pin or node, in list order, whose entity has the id.
    std::uint32_t FindPin(std::uint32_t entityId) const;
    std::uint32_t FindNode(std::uint32_t entityId) const;

private:
    kernel::NTSTATUS CollectPins(IAudioHal& hal);
    kernel::NTSTATUS CollectNodes(IAudioHal& hal);
    kernel::NTSTATUS Connect();
    kernel::NTSTATUS ConnectOutputPin(std::uint32_t pin, std::uint8_t* walk);
    kernel::NTSTATUS ConnectUpstream(std::uint32_t node, std::uint8_t* walk);
    kernel::NTSTATUS ConnectSource(std::uint32_t sourceId, std::uint32_t toNode,
                                   std::uint32_t toPin, std::uint8_t* walk);
    void AddConnection(const portcls::ConnectionDescriptor& connection);

    CPoolBuffer m_Pins;
    CPoolBuffer m_Nodes;
    CPoolBuffer m_Connections;
    std::uint32_t m_ulPins = 0;
    std::uint32_t m_ulNodes = 0;
    std::uint32_t m_ulConnections = 0;
    std::uint64_t m_ullConnectionRoom = 0;
};
