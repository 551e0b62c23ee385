#include "driver/engine/endpoint_terminals.h"

#include "driver/common/pool_buffer.h"
#include "driver/engine/jack_description.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/stream_engine.h"
#include "driver/engine/terminal_item.h"
#include "driver/engine/terminal_type_item.h"

namespace {

// Jack records are read into a short-lived paged block.
constexpr kernel::PoolTag JackReadTag = kernel::poolTag("Stre");

// Reads the terminal code of an entity of the kind that answers the
// terminal-info face; false for any other entity.
bool ReadTerminalCode(IAudioNode* entity, std::uint32_t kind, std::uint32_t* code) {
    if (entity->GetType() != kind) return false;
    CQueriedInterface<ITerminalInfo> info(entity, IID_ITerminalInfo);
    return info && kernel::succeeded(info->GetEndpointType(code));
}

// The code of such a terminal; 0 for any other entity.
std::uint32_t TerminalCode(IAudioNode* entity, std::uint32_t kind) {
    std::uint32_t code = 0;
    return ReadTerminalCode(entity, kind, &code) ? code : 0;
}

template <class Visit> void ForEachEntity(const CReferenceList<IAudioNode>& entities, Visit visit) {
    entities.ForEachUntilFailure([&](IAudioNode* entity) {
        return visit(entity) ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
    });
}

kernel::NTSTATUS TerminalConnected(ITerminalInfo& terminal, bool* connected) {
    std::uint32_t jacks = 0;
    if (!kernel::succeeded(terminal.GetJackCount(&jacks, 0)) || jacks == 0) {
        *connected = true;
        return kernel::STATUS_SUCCESS;
    }
    const std::uint32_t bytes = jacks * sizeof(JackDescription);
    CPoolBuffer records(kernel::PoolType::Paged, bytes, JackReadTag);
    if (!records.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    const kernel::NTSTATUS status = terminal.GetJackDescriptions(bytes, records.Get(), 0);
    if (!kernel::succeeded(status)) return status;
    const auto* jack = records.Get<const JackDescription>();
    *connected = false;
    for (std::uint32_t i = 0; i < jacks && !*connected; ++i) *connected = jack[i].IsConnected != 0;
    return kernel::STATUS_SUCCESS;
}

} // namespace

std::uint32_t CaptureEndpointType(const CReferenceList<IAudioNode>& entities) {
    std::uint32_t type = endpoint_type::none;
    std::uint32_t terminals = 0;
    ForEachEntity(entities, [&](IAudioNode* entity) {
        const std::uint32_t code = TerminalCode(entity, item_type::inputTerminal);
        if (code == 0) return true;
        ++terminals;
        type = code;
        return true;
    });
    return terminals >= 2 ? endpoint_type::recordingMix : type;
}

std::uint32_t RenderEndpointType(const CReferenceList<IAudioNode>& entities) {
    std::uint32_t type = endpoint_type::none;
    ForEachEntity(entities, [&](IAudioNode* entity) {
        if (entity->GetType() == item_type::terminalTypeSelection) {
            CQueriedInterface<ITerminalTypeSelection> selection(entity, IID_ITerminalTypeSelection);
            if (!selection) return true;
            selection->GetCurrentType(&type);
            return false;
        }
        std::uint32_t code = 0;
        if (ReadTerminalCode(entity, item_type::outputTerminal, &code)) type = code;
        return true;
    });
    return type;
}

bool OffersTwoChannelFormatsOnly(std::uint32_t direction, std::uint32_t endpointType) {
    if (direction != EngineDirectionRender) return false;
    return endpointType == endpoint_type::headphones || endpointType == endpoint_type::digitalOut ||
           endpointType == endpoint_type::headset || endpointType == endpoint_type::frontHeadphones;
}

kernel::NTSTATUS IsEndpointConnected(const CReferenceList<IAudioNode>& entities,
                                     std::uint32_t direction, bool* connected) {
    const std::uint32_t kind =
        direction == EngineDirectionRender ? item_type::outputTerminal : item_type::inputTerminal;
    *connected = false;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    ForEachEntity(entities, [&](IAudioNode* entity) {
        if (TerminalCode(entity, kind) == 0) return true;
        CQueriedInterface<ITerminalInfo> info(entity, IID_ITerminalInfo);
        status = TerminalConnected(*info.Get(), connected);
        return kernel::succeeded(status) && !*connected;
    });
    return status;
}
