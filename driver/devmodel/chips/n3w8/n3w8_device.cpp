#include "driver/devmodel/chips/n3w8/n3w8_device.h"

#include "driver/common/maker_ids.h"
#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/chips/n3w8/n3w8_feature_units.h"
#include "driver/devmodel/chips/n3w8/n3w8_selector_unit.h"
#include "driver/devmodel/chips/n3w8/n3w8_terminals.h"
#include "driver/devmodel/control_walk.h"
#include "driver/devmodel/parsed_entity.h"
#include "driver/devmodel/streaming_walk.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/stream_engine_base.h"

#include <array>
#include <span>

namespace {

namespace subtype = usb::uac1::ac_subtype;

constexpr std::array<CN3W8Registers::Entry, N3W8RegisterCount> PowerOnRegisters = {{
    {0x2004, CN3W8Registers::RestoreAtReset},
    {0x3002, CN3W8Registers::RestoreAtReset},
    {0xF800, CN3W8Registers::RestoreAtReset},
    {0x143F, CN3W8Registers::RestoreAtReset},
    {0x0000, CN3W8Registers::RestoreAtReset},
    {0x3000, CN3W8Registers::RestoreAtReset},
}};
constexpr std::uint32_t LedRegister = 1;

// The one headset whose render streams the worker attenuates (and whose
// line-through mute it forces), the one whose chip already plays its
// channels in the host's order (and whose record units have the LED
// switch), and the one whose record mute only the host applies.
constexpr std::uint16_t AttenuatedVendor = 0x1E7D;
constexpr std::uint16_t AttenuatedProduct = 0x3750;
constexpr std::uint16_t UnswappedVendor = 0x28DA;
constexpr std::uint16_t UnswappedProduct = 0x268E;
constexpr std::uint16_t SoftRecordMuteProduct = 0x0053;

bool IsProduct(const CUacDevice& device, std::uint16_t vendor, std::uint16_t product) {
    return device.VendorId() == vendor && device.ProductId() == product;
}

// The model's own classes get its registers and the outputs it offers.
template <class Entity>
kernel::NTSTATUS CreateN3W8Entity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity) {
    auto* model = dynamic_cast<CUac1DeviceN3W8*>(&device);
    if (model == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const N3W8DeviceProfile& profile = model->Profile();
    const N3W8EntityContext context{
        .registers = &model->Registers(),
        .headphones = profile.SupportHPOut,
        .spdif = profile.SupportSpdifOut,
        .eightChannels = !profile.switches.Disable8ChOutSupported,
    };
    return CreateParsedEntity<Entity>(device, descriptor, entity, context);
}

kernel::NTSTATUS CreateLineThroughUnit(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                       IAudioNode** entity) {
    if (IsProduct(device, AttenuatedVendor, AttenuatedProduct))
        return CreateN3W8Entity<CN3W8ForcedMuteFeatureUnit>(device, descriptor, entity);
    return CreateN3W8Entity<CN3W8AnalogFeatureUnit>(device, descriptor, entity);
}

kernel::NTSTATUS CreateRecordUnit(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                                  IAudioNode** entity) {
    if (IsProduct(device, MakerVendorId, SoftRecordMuteProduct))
        return CreateN3W8Entity<CN3W8RecordFeatureUnitSoft>(device, descriptor, entity);
    if (IsProduct(device, UnswappedVendor, UnswappedProduct))
        return CreateN3W8Entity<CN3W8RecordFeatureUnitLed>(device, descriptor, entity);
    return CreateN3W8Entity<CN3W8RecordFeatureUnit>(device, descriptor, entity);
}

// Feature units by id: stereo-mix (2), microphone (8) and line (15)
// record, microphone (9) and line (11) through, playback (13), mix (16).
// Output terminal 3 is the switchable one; every other feature unit and
// output terminal, and the mixers, are the release's.
constexpr ChipEntityRow N3W8Entities[] = {
    {subtype::featureUnit, 13, CreateN3W8Entity<CN3W8MuteLedFeatureUnit>},
    {subtype::featureUnit, 16, CreateN3W8Entity<CN3W8MixFeatureUnit>},
    {subtype::featureUnit, 9, CreateN3W8Entity<CN3W8AnalogFeatureUnit>},
    {subtype::featureUnit, 11, CreateLineThroughUnit},
    {subtype::featureUnit, 2, CreateRecordUnit},
    {subtype::featureUnit, 8, CreateRecordUnit},
    {subtype::featureUnit, 15, CreateRecordUnit},
    {subtype::inputTerminal, 0, CreateN3W8Entity<CN3W8InputTerminal>},
    {subtype::outputTerminal, 3, CreateN3W8Entity<CN3W8OutputTerminal>},
    {subtype::selectorUnit, 0, CreateParsedEntity<CN3W8SelectorUnit>},
};

} // namespace

kernel::NTSTATUS CreateCUac1DeviceN3W8(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                       std::uint16_t vendorId, std::uint16_t productId) {
    return CreateDriverObject<CUac1DeviceN3W8>(out, outer, kernel::PoolType::NonPagedNx,
                                               N3W8DeviceTag, vendorId, productId);
}

CUac1DeviceN3W8::CUac1DeviceN3W8(kernel::IUnknown* outer, std::uint16_t vendorId,
                                 std::uint16_t productId)
    : CUac1ChipDevice(outer, vendorId, productId, N3W8DeviceTag), m_Registers(UsbDevice()) {}

// The worker uses the attenuation node until it has stopped.
CUac1DeviceN3W8::~CUac1DeviceN3W8() {
    m_Worker.Stop();
    if (m_pAttenuateNode != nullptr) m_pAttenuateNode->Release();
}

kernel::NTSTATUS CUac1DeviceN3W8::Start() {
    return m_Profile.WorkerEnabled ? m_Worker.Start(m_pAttenuateNode) : kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1DeviceN3W8::Stop() {
    m_Worker.Stop();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac1DeviceN3W8::AfterRename(IStreamEngine&, std::uint32_t nodeId) {
    return OnStatus(nodeId);
}

kernel::NTSTATUS CUac1DeviceN3W8::SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) {
    std::array<CN3W8Registers::Entry, N3W8RegisterCount> registers = PowerOnRegisters;
    m_Registers.Load(registers);
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    const kernel::NTSTATUS status = ReadN3W8ChipBytes(UsbDevice(), &a, &b);
    if (!kernel::succeeded(status)) return status;

    m_Profile = {};
    ReadN3W8Switches(GetDeviceObject(), m_Profile);
    ApplyN3W8DeviceRows(VendorId(), ProductId(), N3W8ChipMatches(a, b), m_Profile);
    info.words[0] = m_Profile.InfoWord0;
    if (m_Profile.OverridesRegister1) {
        registers[LedRegister].value = m_Profile.Register1;
        m_Registers.Load(registers);
    }
    return RewriteStoredConfiguration(usb);
}

// The adapter keeps the configuration in a writable block of its own and
// hands it out read-only; this model alone reshapes it, before any reader.
kernel::NTSTATUS CUac1DeviceN3W8::RewriteStoredConfiguration(IUsbDevice& usb) {
    const usb::ConfigurationDescriptor* configuration = usb.GetConfigurationDescriptor();
    if (configuration == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    auto* bytes =
        reinterpret_cast<std::uint8_t*>(const_cast<usb::ConfigurationDescriptor*>(configuration));
    return RewriteConfiguration(std::span(bytes, configuration->wTotalLength.value()),
                                m_Profile.switches);
}

kernel::NTSTATUS CUac1DeviceN3W8::ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                        std::uint32_t length) {
    return WalkChipControlInterface(*this, interface, length, {N3W8Entities, 0});
}

kernel::NTSTATUS
CUac1DeviceN3W8::ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                                          const usb::InterfaceDescriptor* interface,
                                          std::uint32_t length) {
    const kernel::NTSTATUS status = WalkStreamingInterfaces(
        *this, configuration, interface, length,
        {.uac1Render = UsbStreamKind::processingRender, .registers = &m_Registers});
    return kernel::succeeded(status) ? AddRenderNodes() : status;
}

kernel::NTSTATUS CUac1DeviceN3W8::AddRenderNodes() {
    const bool attenuated = VendorId() == AttenuatedVendor && ProductId() == AttenuatedProduct;
    const bool swapped = VendorId() != UnswappedVendor && ProductId() != UnswappedProduct &&
                         !m_Profile.switches.Disable8ChOutSupported;
    for (std::uint32_t i = 0; i < GetEndpointCount(); ++i) {
        IStreamEngine* face = nullptr;
        kernel::NTSTATUS status = GetEndpoint(i, &face);
        if (!kernel::succeeded(status)) return status;
        auto* engine = dynamic_cast<CStreamEngine*>(face);
        if (engine == nullptr || engine->GetDirection() != EngineDirectionRender) continue;
        if (attenuated) {
            CN3W8AttenuateNode* node = nullptr;
            status = CreateDriverObject<CN3W8AttenuateNode>(
                &node, nullptr, kernel::PoolType::NonPagedNx, N3W8Tag, CN3W8AttenuateNode::Pass);
            if (kernel::succeeded(status)) status = engine->AddChainANode(node);
            if (!kernel::succeeded(status)) {
                if (node != nullptr) node->Release();
                return status;
            }
            if (m_pAttenuateNode != nullptr) m_pAttenuateNode->Release();
            m_pAttenuateNode = node;
            status = engine->AllocatePacketBuffers();
            if (!kernel::succeeded(status)) return status;
        }
        if (swapped) {
            CHeldInterface<IDspNode> node;
            status = CreateDriverObject<CN3W8ChannelSwapNode>(
                node.Out(), nullptr, kernel::PoolType::NonPagedNx, N3W8Tag);
            if (kernel::succeeded(status)) status = engine->AddChainANode(node.Get());
            if (kernel::succeeded(status)) status = engine->AllocatePacketBuffers();
            if (!kernel::succeeded(status)) return status;
        }
    }
    return kernel::STATUS_SUCCESS;
}
