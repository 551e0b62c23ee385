// Connecting the graph once the device model has parsed its descriptors:
// selector links, then endpoint binding, then the children's cached values
// go to the device.
#include "driver/engine/audio_hal.h"
#include "driver/engine/engine_binding.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/selector_item.h"
#include "driver/engine/stream_binding.h"

namespace {

// Selectors with more inputs are left unlinked.
constexpr std::uint32_t MaxLinkedSelectorInputs = 10;

} // namespace

kernel::NTSTATUS CAudioHal::ConnectGraph() {
    LinkSelectors();
    BindEndpoints();
    return ApplyToChildren();
}

void CAudioHal::LinkSelectors() {
    m_Children.ForEachUntilFailure([this](IAudioNode* child) {
        std::uint32_t ids[MaxLinkedSelectorInputs] = {};
        std::uint32_t count = child->GetIdCount();
        if (child->GetType() != item_type::selector || count > MaxLinkedSelectorInputs)
            return kernel::STATUS_SUCCESS;
        if (!kernel::succeeded(child->GetIdList(&count, ids))) return kernel::STATUS_SUCCESS;
        CQueriedInterface<ISelectorControl> selector(child, IID_ISelectorControl);
        if (!selector) return kernel::STATUS_SUCCESS;
        for (std::uint32_t input = 1; input <= count; ++input)
            LinkSelectorInput(input, *selector.Get(), ids[input - 1], 0);
        return kernel::STATUS_SUCCESS;
    });
}

// The nodes upstream of one selector input, the deepest first, follow the
// selector: each learns its input number and the selector's current value.
// A chain cannot be longer than the children are many, so a deeper walk is
// a loop in the ids and ends there.
void CAudioHal::LinkSelectorInput(std::uint32_t input, ISelectorControl& selector, std::uint32_t id,
                                  std::uint32_t depth) {
    IAudioNode* node = nullptr;
    if (depth > GetChildCount() || !kernel::succeeded(FindChildById(id, &node))) return;
    if (node->GetIdCount() == 1) {
        std::uint32_t count = 1;
        std::uint32_t source = 0;
        if (kernel::succeeded(node->GetIdList(&count, &source)))
            LinkSelectorInput(input, selector, source, depth + 1);
    }
    std::uint32_t value = 0;
    selector.GetCurrentInput(&value);
    CQueriedInterface<IStreamBinding> binding(node, IID_IStreamBinding);
    if (!binding) return;
    selector.AddListener(binding.Get());
    binding->SetOwnValue(input);
    binding->SetCurrentValue(value);
}

void CAudioHal::BindEndpoints() {
    m_Endpoints.ForEachUntilFailure([](IStreamEngine* engine) {
        const bool capture = engine->GetDirection() != EngineDirectionRender;
        const std::uint32_t count = engine->GetEntityCount();
        for (std::uint32_t index = 0; index < count; ++index) {
            IAudioNode* entity = nullptr;
            if (!kernel::succeeded(engine->GetEntity(index, &entity))) continue;
            if (!capture) {
                CQueriedInterface<IRenderBoundControl> render(entity, IID_IRenderBoundControl);
                if (render) render->SetRenderBoundValue(0);
                continue;
            }
            CQueriedInterface<ICaptureBound> control(entity, IID_ICaptureBoundControl);
            if (control) {
                control->BindEngine(engine);
                continue;
            }
            CQueriedInterface<ICaptureBound> captureSwitch(entity, IID_ICaptureBoundSwitch);
            if (captureSwitch) captureSwitch->BindEngine(engine);
        }
        return kernel::STATUS_SUCCESS;
    });
}
