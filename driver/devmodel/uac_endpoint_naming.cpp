// Renaming the endpoints whose terminal switched type. An endpoint keeps
// the number in its name when no other endpoint bears the new name with
// it; otherwise it takes the lowest number none bears, so two endpoints
// never share a name.
#include "driver/devmodel/uac_device.h"

#include "driver/common/pool_buffer.h"
#include "driver/engine/endpoint_names.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/terminal_type_item.h"

namespace {

// The name buffers: 102 bytes, of which the name with its zero fills at most 51 characters.
constexpr std::size_t NameBufferBytes = 102;
constexpr std::uint32_t NameChars = EngineNameMaxChars + 1;
constexpr std::uint32_t NumbersTried = 100;

bool SameText(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The two digits that end a name; none when it does not end in two.
bool TrailingNumber(const char16_t* name, std::uint32_t* number) {
    std::size_t length = 0;
    while (name[length] != 0) ++length;
    if (length < 2) return false;
    const char16_t tens = name[length - 2];
    const char16_t ones = name[length - 1];
    if (tens < u'0' || tens > u'9' || ones < u'0' || ones > u'9') return false;
    *number = static_cast<std::uint32_t>((tens - u'0') * 10 + (ones - u'0'));
    return true;
}

// Whether an endpoint other than the one at `self` bears the name.
bool NameTaken(IAudioHal& hal, std::uint32_t self, const char16_t* name, char16_t* scratch) {
    const std::uint32_t count = hal.GetEndpointCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IStreamEngine* other = nullptr;
        if (index == self || !kernel::succeeded(hal.GetEndpoint(index, &other))) continue;
        if (kernel::succeeded(other->GetName(scratch, NameChars)) && SameText(scratch, name))
            return true;
    }
    return false;
}

// The terminal-type selection on the endpoint's path whose selection
// changed since it was last asked; the flag is cleared.
bool SelectionChanged(IStreamEngine& engine) {
    const std::uint32_t count = engine.GetEntityCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* node = nullptr;
        if (!kernel::succeeded(engine.GetEntity(index, &node)) ||
            node->GetType() != item_type::terminalTypeSelection)
            continue;
        CQueriedInterface<ITerminalTypeSelection> selection(node, IID_ITerminalTypeSelection);
        std::uint32_t changed = 0;
        if (!selection || !kernel::succeeded(selection->GetChanged(&changed)) || changed == 0)
            return false;
        selection->ClearChanged();
        return true;
    }
    return false;
}

} // namespace

kernel::NTSTATUS CUacDevice::UpdateEndpoints(std::uint32_t nodeId) {
    const std::uint32_t count = GetEndpointCount();
    if (count == 0) return kernel::STATUS_UNSUCCESSFUL;
    for (std::uint32_t index = 0; index < count; ++index) {
        IStreamEngine* engine = nullptr;
        kernel::NTSTATUS status = GetEndpoint(index, &engine);
        if (kernel::succeeded(status) && SelectionChanged(*engine))
            status = RenameEndpoint(*engine, index, nodeId);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacDevice::RenameEndpoint(IStreamEngine& engine, std::uint32_t index,
                                            std::uint32_t nodeId) {
    const kernel::PoolTag tag = m_Release == usb::AudioRelease::uac2 ? m_Tag : TemporaryTag;
    CPoolBuffer name(kernel::PoolType::Paged, NameBufferBytes, tag);
    CPoolBuffer scratch(kernel::PoolType::Paged, NameBufferBytes, tag);
    if (!name.IsValid() || !scratch.IsValid()) return kernel::STATUS_UNSUCCESSFUL;
    auto* text = name.Get<char16_t>();
    auto* other = scratch.Get<char16_t>();

    kernel::NTSTATUS status =
        engine.Uninstall(GetDeviceObject(), nullptr, static_cast<IAudioHal*>(this));
    if (!kernel::succeeded(status)) return status;

    const std::uint32_t direction = engine.GetDirection();
    const std::uint32_t type = engine.GetEndpointType();
    std::uint32_t kept = 0;
    const bool hasNumber =
        kernel::succeeded(engine.GetName(other, NameChars)) && TrailingNumber(other, &kept);
    bool named = false;
    for (std::uint32_t attempt = 0; attempt <= NumbersTried && !named; ++attempt) {
        // The first attempt keeps the old number, the others count from 0.
        if (attempt == 0 && !hasNumber) continue;
        const std::uint32_t number = attempt == 0 ? kept : attempt - 1;
        status = FormatEndpointName(text, NameChars, direction, type, number);
        if (!kernel::succeeded(status)) return status;
        named = !NameTaken(*this, index, text, other);
    }
    if (!named) return kernel::STATUS_UNSUCCESSFUL;
    status = engine.SetName(text);
    if (!kernel::succeeded(status)) return status;
    return AfterRename(engine, nodeId);
}

kernel::NTSTATUS CUacDevice::AfterRename(IStreamEngine& engine, std::uint32_t) {
    WaitBeforeInstall();
    return engine.Install(GetDeviceObject(), nullptr, static_cast<IAudioHal*>(this));
}
