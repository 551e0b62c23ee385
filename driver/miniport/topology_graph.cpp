#include "driver/miniport/topology_graph.h"

#include "driver/engine/queried_interface.h"
#include "driver/engine/terminal_item.h"

namespace {

constexpr kernel::PoolType GraphPool = kernel::PoolType::NonPagedNx;

// Where a node stands in the upstream walk.
enum WalkMark : std::uint8_t {
    Unwalked = 0,
    OnPath = 1, // reached again before its sources are done: a loop
    Walked = 2,
};

bool IsTerminal(std::uint32_t type) {
    return type == item_type::inputTerminal || type == item_type::outputTerminal;
}

bool IsNode(std::uint32_t type) { return !IsTerminal(type) && type != item_type::clockRates; }

// The endpoint type of a terminal item; false for a child that is no
// terminal item or cannot tell its type.
bool ReadEndpointType(IAudioNode* child, std::uint32_t* code) {
    if (!IsTerminal(child->GetType())) return false;
    CQueriedInterface<ITerminalInfo> info(child, IID_ITerminalInfo);
    return info && kernel::succeeded(info->GetEndpointType(code));
}

template <class Record> kernel::NTSTATUS AllocateRecords(CPoolBuffer& buffer, std::uint64_t count) {
    if (count == 0) return kernel::STATUS_SUCCESS;
    if (count > UINT32_MAX / sizeof(Record)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    buffer = CPoolBuffer(GraphPool, count * sizeof(Record), TopologyTag);
    return buffer.IsValid() ? kernel::STATUS_SUCCESS : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

} // namespace

kernel::NTSTATUS CTopologyGraph::Build(IAudioHal& hal) {
    Free();
    kernel::NTSTATUS status = CollectPins(hal);
    if (kernel::succeeded(status)) status = CollectNodes(hal);
    if (kernel::succeeded(status)) status = Connect();
    if (!kernel::succeeded(status)) Free();
    return status;
}

void CTopologyGraph::Free() {
    for (std::uint32_t i = 0; i < m_ulPins; ++i) Pin(i).entity->Release();
    for (std::uint32_t i = 0; i < m_ulNodes; ++i) Node(i).entity->Release();
    m_Pins = CPoolBuffer();
    m_Nodes = CPoolBuffer();
    m_Connections = CPoolBuffer();
    m_ulPins = m_ulNodes = m_ulConnections = 0;
    m_ullConnectionRoom = 0;
}

// Streaming terminals go to the head of the list, each before those found
// earlier; every other terminal to the tail in the order found.
kernel::NTSTATUS CTopologyGraph::CollectPins(IAudioHal& hal) {
    const std::uint32_t children = hal.GetChildCount();
    std::uint32_t streaming = 0;
    std::uint32_t terminals = 0;
    for (std::uint32_t i = 0; i < children; ++i) {
        IAudioNode* child = nullptr;
        std::uint32_t code = 0;
        if (!kernel::succeeded(hal.GetChild(i, &child)) || !ReadEndpointType(child, &code))
            continue;
        ++terminals;
        if (code == endpoint_type::stream) ++streaming;
    }
    const kernel::NTSTATUS status = AllocateRecords<TopologyPin>(m_Pins, terminals);
    if (!kernel::succeeded(status)) return status;

    std::uint32_t head = streaming;
    std::uint32_t tail = streaming;
    for (std::uint32_t i = 0; i < children && m_ulPins < terminals; ++i) {
        IAudioNode* child = nullptr;
        std::uint32_t code = 0;
        if (!kernel::succeeded(hal.GetChild(i, &child)) || !ReadEndpointType(child, &code))
            continue;
        const std::uint32_t slot = code == endpoint_type::stream ? --head : tail++;
        child->AddRef();
        m_Pins.Get<TopologyPin>()[slot] = {child, code,
                                           child->GetType() == item_type::outputTerminal};
        ++m_ulPins;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTopologyGraph::CollectNodes(IAudioHal& hal) {
    const std::uint32_t children = hal.GetChildCount();
    std::uint32_t nodes = 0;
    for (std::uint32_t i = 0; i < children; ++i) {
        IAudioNode* child = nullptr;
        if (kernel::succeeded(hal.GetChild(i, &child)) && IsNode(child->GetType())) ++nodes;
    }
    const kernel::NTSTATUS status = AllocateRecords<TopologyNode>(m_Nodes, nodes);
    if (!kernel::succeeded(status)) return status;
    for (std::uint32_t i = 0; i < children && m_ulNodes < nodes; ++i) {
        IAudioNode* child = nullptr;
        if (!kernel::succeeded(hal.GetChild(i, &child)) || !IsNode(child->GetType())) continue;
        child->AddRef();
        m_Nodes.Get<TopologyNode>()[m_ulNodes++] = {child};
    }
    return kernel::STATUS_SUCCESS;
}

std::uint32_t CTopologyGraph::FindPin(std::uint32_t entityId) const {
    for (std::uint32_t i = 0; i < m_ulPins; ++i)
        if (Pin(i).entity->GetId() == entityId) return i;
    return NotFound;
}

std::uint32_t CTopologyGraph::FindNode(std::uint32_t entityId) const {
    for (std::uint32_t i = 0; i < m_ulNodes; ++i)
        if (Node(i).entity->GetId() == entityId) return i;
    return NotFound;
}

// Every connection ends at an output pin or at one input of a node, and
// each of those has one source, so the connections can be counted before
// the walk: one per output pin, and per node one per source (one for a node
// fed straight from a pin).
kernel::NTSTATUS CTopologyGraph::Connect() {
    std::uint64_t room = 0;
    for (std::uint32_t i = 0; i < m_ulPins; ++i) room += Pin(i).output ? 1 : 0;
    for (std::uint32_t i = 0; i < m_ulNodes; ++i) {
        const std::uint32_t sources = Node(i).entity->GetIdCount();
        room += sources != 0 ? sources : 1;
    }
    kernel::NTSTATUS status = AllocateRecords<portcls::ConnectionDescriptor>(m_Connections, room);
    if (!kernel::succeeded(status)) return status;
    m_ullConnectionRoom = room;

    CPoolBuffer walk;
    if (m_ulNodes != 0) {
        walk = CPoolBuffer(GraphPool, m_ulNodes, TemporaryTag);
        if (!walk.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        for (std::uint32_t i = 0; i < m_ulNodes; ++i) walk.Get<std::uint8_t>()[i] = Unwalked;
    }
    for (std::uint32_t pin = 0; pin < m_ulPins && kernel::succeeded(status); ++pin) {
        if (Pin(pin).output) status = ConnectOutputPin(pin, walk.Get<std::uint8_t>());
    }
    return status;
}

kernel::NTSTATUS CTopologyGraph::ConnectOutputPin(std::uint32_t pin, std::uint8_t* walk) {
    std::uint32_t count = 1;
    std::uint32_t sourceId = 0;
    if (!kernel::succeeded(Pin(pin).entity->GetIdList(&count, &sourceId)) || count == 0)
        return kernel::STATUS_UNSUCCESSFUL;
    return ConnectSource(sourceId, portcls::nodeNone, pin, walk);
}

// A node's sources are connected before the node itself, so a node is
// finished once; meeting a node again while its own sources are still being
// walked means the ids lead round in a loop.
kernel::NTSTATUS CTopologyGraph::ConnectUpstream(std::uint32_t node, std::uint8_t* walk) {
    if (walk[node] == Walked) return kernel::STATUS_SUCCESS;
    if (walk[node] == OnPath) return kernel::STATUS_UNSUCCESSFUL;
    walk[node] = OnPath;
    IAudioNode* entity = Node(node).entity;
    std::uint32_t count = entity->GetIdCount();
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (count == 0) {
        const std::uint32_t pin = FindPin(entity->GetId());
        if (pin == NotFound) return kernel::STATUS_UNSUCCESSFUL;
        AddConnection({portcls::nodeNone, pin, node, 1});
    } else {
        CPoolBuffer ids(GraphPool, std::uint64_t{count} * sizeof(std::uint32_t), TemporaryTag);
        if (!ids.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        status = entity->GetIdList(&count, ids.Get<std::uint32_t>());
        for (std::uint32_t input = 1; input <= count && kernel::succeeded(status); ++input)
            status = ConnectSource(ids.Get<std::uint32_t>()[input - 1], node, input, walk);
    }
    if (kernel::succeeded(status)) walk[node] = Walked;
    return status;
}

// The connection from whatever carries the id into input toPin of node
// toNode (nodeNone: the filter's pin toPin).
kernel::NTSTATUS CTopologyGraph::ConnectSource(std::uint32_t sourceId, std::uint32_t toNode,
                                               std::uint32_t toPin, std::uint8_t* walk) {
    const std::uint32_t node = FindNode(sourceId);
    if (node != NotFound) {
        const kernel::NTSTATUS status = ConnectUpstream(node, walk);
        if (!kernel::succeeded(status)) return status;
        AddConnection({node, 0, toNode, toPin});
        return kernel::STATUS_SUCCESS;
    }
    const std::uint32_t pin = FindPin(sourceId);
    if (pin == NotFound) return kernel::STATUS_UNSUCCESSFUL;
    AddConnection({portcls::nodeNone, pin, toNode, toPin});
    return kernel::STATUS_SUCCESS;
}

// A connection already listed (a node reached over two paths) is not added again.
void CTopologyGraph::AddConnection(const portcls::ConnectionDescriptor& connection) {
    auto* connections = m_Connections.Get<portcls::ConnectionDescriptor>();
    for (std::uint32_t i = 0; i < m_ulConnections; ++i) {
        const portcls::ConnectionDescriptor& c = connections[i];
        if (c.FromNode == connection.FromNode && c.FromNodePin == connection.FromNodePin &&
            c.ToNode == connection.ToNode && c.ToNodePin == connection.ToNodePin)
            return;
    }
    if (m_ulConnections < m_ullConnectionRoom) connections[m_ulConnections++] = connection;
}
