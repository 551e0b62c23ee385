#include "driver/devmodel/engine_nodes.h"

#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/mixer_item.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/soft_mute_node.h"

namespace {

constexpr std::uint32_t OutputTerminalEntity = 3;

// A ring of node ids; one slot stays free so that full and empty differ.
class CNodeQueue {
public:
    explicit CNodeQueue(std::uint32_t first) { m_Ids[0] = first; }
    bool Empty() const { return m_ulRead == m_ulWrite; }
    std::uint32_t Take() {
        const std::uint32_t id = m_Ids[m_ulRead];
        m_ulRead = (m_ulRead + 1) % CollectionQueueSize;
        return id;
    }
    // The node's sources join the queue; refused when they do not fit.
    kernel::NTSTATUS AddSources(IAudioNode& node) {
        std::uint32_t count = node.GetIdCount();
        const std::uint32_t used =
            (m_ulWrite + CollectionQueueSize - m_ulRead) % CollectionQueueSize;
        if (count > CollectionQueueSize - 1 - used) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        std::uint32_t ids[CollectionQueueSize] = {};
        const kernel::NTSTATUS status = node.GetIdList(&count, ids);
        if (!kernel::succeeded(status)) return status;
        for (std::uint32_t index = 0; index < count; ++index) {
            m_Ids[m_ulWrite] = ids[index];
            m_ulWrite = (m_ulWrite + 1) % CollectionQueueSize;
        }
        return kernel::STATUS_SUCCESS;
    }

private:
    std::uint32_t m_Ids[CollectionQueueSize] = {};
    std::uint32_t m_ulRead = 0;
    std::uint32_t m_ulWrite = 1;
};

// Whether the search from an output terminal, following every source
// (mixers' too), meets the node. Ids that form a loop are cut off after as
// many steps as the graph could need.
kernel::NTSTATUS Reaches(CUacDevice& device, std::uint32_t from, std::uint32_t target,
                         bool* reached) {
    *reached = false;
    CNodeQueue queue(from);
    const std::uint32_t steps = (device.GetChildCount() + 1) * CollectionQueueSize;
    for (std::uint32_t step = 0; step < steps && !queue.Empty(); ++step) {
        const std::uint32_t id = queue.Take();
        if (id == target) {
            *reached = true;
            return kernel::STATUS_SUCCESS;
        }
        IAudioNode* node = nullptr;
        if (!kernel::succeeded(device.FindChildById(id, &node))) continue;
        const kernel::NTSTATUS status = queue.AddSources(*node);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

bool IsEndpointTerminal(IAudioNode& node) {
    if (node.GetType() != item_type::outputTerminal) return false;
    CQueriedInterface<ITerminalInfo> terminal(&node, IID_ITerminalInfo);
    std::uint32_t code = 0;
    return terminal && kernel::succeeded(terminal->GetEndpointType(&code)) && code != 0;
}

IAudioNode* EngineNodeOfType(CUsbStreamEngine& engine, std::uint32_t type) {
    const std::uint32_t count = engine.GetEntityCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* node = nullptr;
        if (kernel::succeeded(engine.GetEntity(index, &node)) && node->GetType() == type)
            return node;
    }
    return nullptr;
}

// The output-terminal entity whose node the engine's collection started at
// takes the software mute as its source.
kernel::NTSTATUS RouteThroughMute(CUacDevice& device, std::uint32_t terminalNodeId,
                                  std::uint32_t muteId) {
    const std::uint32_t count = device.GetEntityCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* entity = device.EntityAt(index);
        if (entity == nullptr || entity->GetType() != OutputTerminalEntity) continue;
        CQueriedInterface<IUacEntity> uac(entity, IID_IUacEntity);
        std::uint32_t nodeId = 0;
        if (uac && kernel::succeeded(uac->GetOutputNodeId(&nodeId)) && nodeId == terminalNodeId)
            return uac->SetSourceIds(1, &muteId);
    }
    return kernel::STATUS_SUCCESS;
}

// Only a bare path from an input terminal to an output terminal gets the
// mute: two nodes of which one is not a terminal have nothing to mute from.
kernel::NTSTATUS AddSoftMute(CUacDevice& device, CUsbStreamEngine& engine) {
    IAudioNode* input = EngineNodeOfType(engine, item_type::inputTerminal);
    IAudioNode* first = nullptr;
    if (input == nullptr || !kernel::succeeded(engine.GetEntity(0, &first)) ||
        first->GetType() != item_type::outputTerminal)
        return kernel::STATUS_SUCCESS;
    const std::uint32_t id = device.GetChildCount();
    auto* mute = new (kernel::PoolType::NonPagedNx, device.Tag()) CSoftMuteNode(nullptr, id);
    if (mute == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    mute->NonDelegatingAddRef();
    auto* node = static_cast<IAudioNode*>(mute);
    kernel::NTSTATUS status = mute->AllocateOnOff(input->GetId(), 1);
    if (kernel::succeeded(status)) status = device.AddChildObject(node);
    // An entity that is also a DSP node joins chain A with it.
    if (kernel::succeeded(status)) status = engine.AddUniqueEntity(node);
    if (kernel::succeeded(status)) status = RouteThroughMute(device, first->GetId(), id);
    mute->NonDelegatingRelease();
    return status;
}

} // namespace

kernel::NTSTATUS CollectUpstream(CUacDevice& device, CUsbStreamEngine& engine,
                                 std::uint32_t startNodeId) {
    CNodeQueue queue(startNodeId);
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    while (!queue.Empty()) {
        const std::uint32_t id = queue.Take();
        IAudioNode* node = nullptr;
        if (kernel::succeeded(engine.FindEntity(id, &node))) continue;
        status = device.FindChildById(id, &node);
        if (kernel::succeeded(status)) status = engine.AddUniqueEntity(node);
        if (!kernel::succeeded(status)) return status;
        if (node->GetIdCount() != 0 && node->GetType() != item_type::mixer) {
            status = queue.AddSources(*node);
            if (!kernel::succeeded(status)) return status;
        }
    }
    return status;
}

kernel::NTSTATUS CollectEngineNodes(CUacDevice& device, CUsbStreamEngine& engine,
                                    std::uint32_t terminalNodeId) {
    if (engine.GetDirection() != EngineDirectionRender)
        return CollectUpstream(device, engine, terminalNodeId);
    bool collected = false;
    const std::uint32_t count = device.GetChildCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* candidate = nullptr;
        if (!kernel::succeeded(device.GetChild(index, &candidate)) ||
            !IsEndpointTerminal(*candidate))
            continue;
        bool reached = false;
        kernel::NTSTATUS status = Reaches(device, candidate->GetId(), terminalNodeId, &reached);
        if (kernel::succeeded(status) && reached)
            status = CollectUpstream(device, engine, candidate->GetId());
        if (!kernel::succeeded(status)) return status;
        collected = collected || reached;
    }
    return collected ? kernel::STATUS_SUCCESS : kernel::STATUS_INVALID_PARAMETER;
}

// A release-2 capture path with more nodes turns every mixer's jack switch on.
kernel::NTSTATUS FinishEngine(CUacDevice& device, CUsbStreamEngine& engine) {
    const std::uint32_t count = engine.GetEntityCount();
    if (count == 2) return AddSoftMute(device, engine);
    if (device.AudioRelease() != usb::AudioRelease::uac2 ||
        engine.GetDirection() == EngineDirectionRender)
        return kernel::STATUS_SUCCESS;
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* node = nullptr;
        if (!kernel::succeeded(engine.GetEntity(index, &node)) ||
            node->GetType() != item_type::mixer)
            continue;
        CQueriedInterface<IJackSwitch> jack(node, IID_IJackSwitch);
        if (jack) jack->SetJackSwitch(1);
    }
    return kernel::STATUS_SUCCESS;
}
