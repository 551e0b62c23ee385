#include "driver/devmodel/streaming_walk.h"

#include "driver/devmodel/clock_source_link.h"
#include "driver/devmodel/engine_nodes.h"
#include "driver/devmodel/format_registration.h"
#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/channel_item.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/terminal_type_item.h"
#include "driver/usbstream/processing_render_stream_engine.h"
#include "driver/usbstream/usb_stream_engine_create.h"
#include "platform/usb/configuration.h"
#include "platform/usb/descriptor_rules.h"

#include <span>

namespace {

constexpr std::uint8_t AudioClass = 1;
constexpr std::uint8_t StreamingSubclass = 2;
constexpr std::uint8_t InterfaceType = 4;
constexpr std::uint8_t EndpointType = 5;
constexpr std::uint8_t ClassInterfaceType = 0x24;
constexpr std::uint8_t ClassEndpointType = 0x25;
constexpr std::uint32_t InputTerminalEntity = 2;
constexpr std::uint32_t OutputTerminalEntity = 3;
constexpr std::uint32_t Capture = 1;

std::uint32_t Le32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Channel masks of release-1 formats by direction and channels.
std::uint32_t Uac1ChannelMask(bool capture, std::uint32_t channels) {
    switch (channels) {
    case 1:
        return 0x4;
    case 2:
        return 0x3;
    case 4:
        return capture ? 0 : 0x33;
    case 6:
        return capture ? 0 : 0x3F;
    case 8:
        return capture ? 0 : 0x63F;
    default:
        return 0;
    }
}

kernel::NTSTATUS OutputNodeOf(IAudioNode* entity, std::uint32_t* nodeId) {
    CQueriedInterface<IUacEntity> uac(entity, IID_IUacEntity);
    return uac ? uac->GetOutputNodeId(nodeId) : kernel::STATUS_UNSUCCESSFUL;
}

// What one interface's walk has learnt so far.
struct InterfaceState {
    std::uint8_t number = 0;
    std::uint8_t alternateSetting = 0;
    CUsbStreamEngine* engine = nullptr; // the walk's reference
    std::uint32_t clockNodeId = 0;
    std::uint16_t formatTag = 0; // release 1
    // release 2
    std::uint8_t formatType = 0;
    std::uint32_t formats = 0;
    std::uint32_t channels = 0;
    std::uint32_t channelConfig = 0;
};

class CStreamingWalk {
public:
    CStreamingWalk(CUacDevice& device, const usb::ConfigurationView& view, StreamingWalkRules rules)
        : m_Device(device), m_View(view), m_Rules(rules),
          m_bUac2(device.AudioRelease() == usb::AudioRelease::uac2) {}

    // Walks one interface from its first descriptor; *last is the last
    // descriptor that belonged to it.
    kernel::NTSTATUS WalkInterface(const usb::InterfaceDescriptor* interface, const void** last);

private:
    bool IsOwnStreamingSetting(const usb::InterfaceDescriptor& setting) const {
        return usb::audioInterfaceKind(setting) ==
               usb::AudioInterfaceKind{m_Device.AudioRelease(), StreamingSubclass};
    }
    kernel::NTSTATUS OnClassDescriptor(InterfaceState& state, const usb::Descriptor& descriptor);
    kernel::NTSTATUS OnGeneral(InterfaceState& state, std::span<const std::uint8_t> descriptor);
    kernel::NTSTATUS CreateEngine(InterfaceState& state, std::uint8_t terminalLink);
    kernel::NTSTATUS OnFormatType(InterfaceState& state, std::span<const std::uint8_t> descriptor);
    kernel::NTSTATUS ClockNodeOf(IAudioNode* terminal, std::uint32_t* nodeId);

    CUacDevice& m_Device;
    const usb::ConfigurationView& m_View;
    const StreamingWalkRules m_Rules;
    const bool m_bUac2;
};

kernel::NTSTATUS CStreamingWalk::WalkInterface(const usb::InterfaceDescriptor* interface,
                                               const void** last) {
    InterfaceState state;
    state.number = interface->bInterfaceNumber;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    for (const usb::Descriptor descriptor : m_View.descriptorsFrom(interface)) {
        const std::uint8_t type = descriptor.type();
        if (type == InterfaceType) {
            const auto* setting = descriptor.as<usb::InterfaceDescriptor>();
            if (setting->bInterfaceNumber != state.number) break;
            state.alternateSetting = setting->bAlternateSetting;
            // Every setting of the interface is one of its release's audio
            // streaming settings, or what follows it was never checked as one.
            if (!IsOwnStreamingSetting(*setting)) status = kernel::STATUS_INVALID_PARAMETER;
        } else if (type == ClassInterfaceType) {
            status = OnClassDescriptor(state, descriptor);
        } else if (type != EndpointType && type != ClassEndpointType) {
            break;
        }
        *last = descriptor.bytes.data();
        if (!kernel::succeeded(status)) break;
    }
    if (state.engine == nullptr) return status;
    if (kernel::succeeded(status)) status = FinishEngine(m_Device, *state.engine);
    if (kernel::succeeded(status)) status = state.engine->AllocatePacketBuffers();
    static_cast<IStreamEngine*>(state.engine)->Release();
    return status;
}

// The general and format-type descriptors are read only after they passed
// the descriptor table, so no field is read past the descriptor's length.
kernel::NTSTATUS CStreamingWalk::OnClassDescriptor(InterfaceState& state,
                                                   const usb::Descriptor& descriptor) {
    const std::uint8_t subtype = descriptor.subtype();
    if (subtype != usb::as_subtype::general && subtype != usb::as_subtype::formatType)
        return kernel::STATUS_SUCCESS;
    if (usb::checkClassDescriptor(m_Device.AudioRelease(), StreamingSubclass, descriptor.bytes) !=
        nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    return subtype == usb::as_subtype::general ? OnGeneral(state, descriptor.bytes)
                                               : OnFormatType(state, descriptor.bytes);
}

kernel::NTSTATUS CStreamingWalk::OnGeneral(InterfaceState& state,
                                           std::span<const std::uint8_t> descriptor) {
    if (m_bUac2) {
        state.formatType = descriptor[5];
        state.formats = Le32At(descriptor, 6);
        state.channels = descriptor[10];
        state.channelConfig = Le32At(descriptor, 11);
    } else {
        state.formatTag = static_cast<std::uint16_t>(descriptor[5] | descriptor[6] << 8);
    }
    return state.engine == nullptr ? CreateEngine(state, descriptor[3]) : kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStreamingWalk::ClockNodeOf(IAudioNode* terminal, std::uint32_t* nodeId) {
    CQueriedInterface<IClockSourceLink> link(terminal, IID_IClockSourceLink);
    if (!link) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t clockId = 0;
    kernel::NTSTATUS status = link->GetClockSourceId(&clockId);
    IAudioNode* clock = nullptr;
    if (kernel::succeeded(status)) status = m_Device.FindEntityById(clockId, &clock);
    return kernel::succeeded(status) ? OutputNodeOf(clock, nodeId) : status;
}

// The terminal the interface links to decides the direction: a stream into
// an output terminal is captured from the host's view, into an input
// terminal rendered.
kernel::NTSTATUS CStreamingWalk::CreateEngine(InterfaceState& state, std::uint8_t terminalLink) {
    IAudioNode* terminal = nullptr;
    kernel::NTSTATUS status = m_Device.FindEntityById(terminalLink, &terminal);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t type = terminal->GetType();
    if (type != InputTerminalEntity && type != OutputTerminalEntity)
        return kernel::STATUS_INVALID_PARAMETER;
    const bool capture = type == OutputTerminalEntity;
    std::uint32_t terminalNode = 0;
    status = OutputNodeOf(terminal, &terminalNode);
    if (kernel::succeeded(status) && m_bUac2) status = ClockNodeOf(terminal, &state.clockNodeId);
    if (!kernel::succeeded(status)) return status;

    const UsbStreamKind kind =
        m_bUac2 ? (capture ? UsbStreamKind::uac2Capture : UsbStreamKind::uac2Render)
                : (capture ? UsbStreamKind::uac1Capture : m_Rules.uac1Render);
    status = CreateUsbStreamEngine(&state.engine, kind, nullptr, state.number, terminalNode,
                                   state.clockNodeId);
    if (!kernel::succeeded(status)) return status;
    if (kind == UsbStreamKind::processingRender)
        status = static_cast<CUac1ProcessingRenderStreamEngine*>(state.engine)
                     ->InitProcessingStream(EngineDirectionRender, m_Device.UsbDevice(),
                                            m_Rules.registers);
    else
        status = state.engine->InitStream(capture ? Capture : EngineDirectionRender,
                                          m_Device.UsbDevice());
    if (kernel::succeeded(status)) status = m_Device.AddEndpoint(state.engine);
    if (kernel::succeeded(status))
        status = CollectEngineNodes(m_Device, *state.engine, terminalNode);
    return status;
}

kernel::NTSTATUS CStreamingWalk::OnFormatType(InterfaceState& state,
                                              std::span<const std::uint8_t> descriptor) {
    const std::uint8_t formatType = m_bUac2 ? state.formatType : descriptor[3];
    if (state.engine == nullptr ||
        (formatType != usb::format_type::typeI && formatType != usb::format_type::typeIII))
        return kernel::STATUS_INVALID_PARAMETER;
    const bool capture = state.engine->GetDirection() != EngineDirectionRender;
    if (m_bUac2) {
        const ks::WaveFormatExtensible format =
            MakeStreamFormat(state.channels, descriptor[4], descriptor[5], state.channelConfig);
        return RegisterUac2Formats(m_Device, *state.engine, state.clockNodeId, formatType,
                                   state.formats, state.alternateSetting, format);
    }
    const std::uint32_t channels =
        !capture && m_Rules.renderChannels != 0 ? m_Rules.renderChannels : descriptor[4];
    ks::WaveFormatExtensible format = MakeStreamFormat(channels, descriptor[5], descriptor[6],
                                                       Uac1ChannelMask(capture, channels));
    kernel::NTSTATUS status = RegisterFormats(m_Device, *state.engine, descriptor, state.formatTag,
                                              state.alternateSetting, format);
    // Capture of up to three channels also offers the same layout unnamed.
    if (kernel::succeeded(status) && capture && channels < 4) {
        format.dwChannelMask = 0;
        status = RegisterFormats(m_Device, *state.engine, descriptor, state.formatTag,
                                 state.alternateSetting, format);
    }
    return status;
}

void FollowSwitch(CUacDevice& device, IAudioNode& switchItem, ITerminalTypeSelection& selection) {
    std::uint32_t count = 1;
    std::uint32_t id = 0;
    std::uint32_t code = 0;
    if (switchItem.GetIdCount() == 0 || !kernel::succeeded(switchItem.GetIdList(&count, &id)) ||
        !kernel::succeeded(selection.GetCurrentType(&code)))
        return;
    const std::uint32_t steps = device.GetChildCount();
    for (std::uint32_t step = 0; step < steps; ++step) {
        IAudioNode* node = nullptr;
        if (!kernel::succeeded(device.FindChildById(id, &node))) return;
        CQueriedInterface<IChannelMode> mode(node, IID_IChannelMode);
        if (mode) {
            mode->SetChannelMode(code, device.GetCallbackObject());
            CQueriedInterface<IStreamBinding> follower(node, IID_IStreamBinding);
            if (follower) selection.AddFollower(follower.Get());
        }
        count = 1;
        if (node->GetIdCount() != 1 || !kernel::succeeded(node->GetIdList(&count, &id))) return;
    }
}

kernel::NTSTATUS CheckStreamingInterface(const CUacDevice& device,
                                         const usb::InterfaceDescriptor* interface,
                                         std::uint32_t length) {
    if (interface == nullptr || length < sizeof(usb::InterfaceDescriptor) ||
        interface->bLength < sizeof(usb::InterfaceDescriptor) || interface->bLength > length ||
        usb::audioInterfaceKind(*interface) !=
            usb::AudioInterfaceKind{device.AudioRelease(), StreamingSubclass})
        return kernel::STATUS_INVALID_PARAMETER;
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS WalkStreamingInterfaces(CUacDevice& device,
                                         const usb::ConfigurationDescriptor* configuration,
                                         const usb::InterfaceDescriptor* interface,
                                         std::uint32_t length, StreamingWalkRules rules) {
    kernel::NTSTATUS status = CheckStreamingInterface(device, interface, length);
    if (!kernel::succeeded(status)) return status;
    if (configuration == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const usb::ConfigurationView view(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(configuration), configuration->wTotalLength.value()));
    if (!view.valid()) return view.status();
    if (view.descriptorsFrom(interface).empty()) return kernel::STATUS_INVALID_PARAMETER;

    CStreamingWalk walk(device, view, rules);
    const usb::InterfaceQuery streaming{.interfaceClass = AudioClass,
                                        .subclass = StreamingSubclass};
    for (const usb::InterfaceDescriptor* current = interface; current != nullptr;) {
        const void* last = current;
        status = walk.WalkInterface(current, &last);
        if (!kernel::succeeded(status)) return status;
        current = view.findInterface(streaming, last);
    }
    return LinkTerminalSwitches(device);
}

kernel::NTSTATUS LinkTerminalSwitches(CUacDevice& device) {
    const std::uint32_t count = device.GetChildCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* child = nullptr;
        if (!kernel::succeeded(device.GetChild(index, &child)) ||
            child->GetType() != item_type::terminalTypeSelection)
            continue;
        CQueriedInterface<ITerminalTypeSelection> selection(child, IID_ITerminalTypeSelection);
        if (selection) FollowSwitch(device, *child, *selection.Get());
    }
    return kernel::STATUS_SUCCESS;
}
