#include "driver/devmodel/control_walk.h"

#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/queried_interface.h"
#include "platform/usb/descriptor_rules.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::uint8_t ClassInterfaceType = 0x24;
constexpr std::uint8_t HeaderSubtype = 1;
constexpr std::uint8_t OutputTerminalSubtype = 3;
constexpr std::uint8_t AudioClass = 1;
constexpr std::uint8_t ControlSubclass = 1;
// Entities with more sources keep their own lists.
constexpr std::uint32_t MaxResolvedSources = 9;

// A vendor whose speaker terminal 16 plays as headphones, and its product
// that needs both of its output terminals.
constexpr std::uint16_t HeadphoneTerminalVendor = 0x1B1C;
constexpr std::uint16_t TwoOutputProduct = 0x0A04;
constexpr std::uint8_t HeadphoneTerminalId = 16;
constexpr std::uint8_t SecondOutputTerminalId = 64;

std::uint8_t ProtocolOf(usb::AudioRelease release) {
    return release == usb::AudioRelease::uac2 ? 0x20 : 0x00;
}

// The descriptor as the walk hands it on: the vendor's speaker terminal 16
// as headphones, every other one as it stands.
std::span<const std::uint8_t> Adjusted(const CUacDevice& device,
                                       std::span<const std::uint8_t> descriptor,
                                       std::array<std::uint8_t, 255>& copy) {
    const bool speaker16 =
        device.AudioRelease() == usb::AudioRelease::uac1 &&
        device.VendorId() == HeadphoneTerminalVendor && descriptor[2] == OutputTerminalSubtype &&
        descriptor[3] == HeadphoneTerminalId && descriptor[4] == 0x01 && descriptor[5] == 0x03;
    if (!speaker16) return descriptor;
    std::copy(descriptor.begin(), descriptor.end(), copy.begin());
    copy[4] = 0x02;
    return {copy.data(), descriptor.size()};
}

kernel::NTSTATUS BuildEntity(CUacDevice& device, std::span<const std::uint8_t> descriptor,
                             EntityFactory factory) {
    IAudioNode* entity = nullptr;
    const kernel::NTSTATUS status = factory(device, descriptor, &entity);
    if (!kernel::succeeded(status)) return status;
    const kernel::NTSTATUS added = device.AddEntity(entity);
    entity->Release();
    return added;
}

kernel::NTSTATUS OutputNodeOf(IAudioNode* entity, std::uint32_t* nodeId) {
    CQueriedInterface<IUacEntity> uac(entity, IID_IUacEntity);
    if (!uac) return kernel::STATUS_UNSUCCESSFUL;
    return uac->GetOutputNodeId(nodeId);
}

kernel::NTSTATUS ResolveSourcesOf(CUacDevice& device, IAudioNode& entity, IUacEntity& uac) {
    std::uint32_t count = entity.GetIdCount();
    if (count == 0 || count > MaxResolvedSources) return kernel::STATUS_SUCCESS;
    std::uint32_t ids[MaxResolvedSources] = {};
    kernel::NTSTATUS status = entity.GetIdList(&count, ids);
    for (std::uint32_t index = 0; index < count && kernel::succeeded(status); ++index) {
        IAudioNode* source = nullptr;
        status = device.FindEntityById(ids[index], &source);
        if (kernel::succeeded(status)) status = OutputNodeOf(source, &ids[index]);
    }
    if (!kernel::succeeded(status)) return status;
    return uac.SetSourceIds(count, ids);
}

bool HasOutputTerminal(const CUacDevice& device, std::uint32_t id) {
    IAudioNode* entity = nullptr;
    return kernel::succeeded(device.FindEntityById(id, &entity)) &&
           entity->GetType() == OutputTerminalSubtype;
}

} // namespace

kernel::NTSTATUS WalkControlDescriptors(CUacDevice& device,
                                        const usb::InterfaceDescriptor* interface,
                                        std::uint32_t length, EntityFactory factory) {
    if (interface == nullptr || length < sizeof(usb::InterfaceDescriptor) ||
        interface->bLength < sizeof(usb::InterfaceDescriptor) || interface->bLength > length ||
        interface->bInterfaceClass != AudioClass ||
        interface->bInterfaceSubClass != ControlSubclass ||
        interface->bInterfaceProtocol != ProtocolOf(device.AudioRelease()))
        return kernel::STATUS_INVALID_PARAMETER;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(interface),
                                              length);
    for (std::size_t at = interface->bLength; at < bytes.size();) {
        const std::size_t remaining = bytes.size() - at;
        if (remaining < 2 || bytes[at] < 2 || bytes[at] > remaining)
            return kernel::STATUS_UNSUCCESSFUL;
        if (bytes[at + 1] != ClassInterfaceType) break;
        if (bytes[at] < 3) return kernel::STATUS_UNSUCCESSFUL;
        const std::span<const std::uint8_t> descriptor = bytes.subspan(at, bytes[at]);
        at += descriptor.size();
        if (usb::checkClassDescriptor(device.AudioRelease(), usb::audio_subclass::control,
                                      descriptor) != nullptr)
            return kernel::STATUS_INVALID_PARAMETER;
        if (descriptor[2] == HeaderSubtype) continue;
        std::array<std::uint8_t, 255> copy{};
        const kernel::NTSTATUS status =
            BuildEntity(device, Adjusted(device, descriptor, copy), factory);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS ResolveEntitySources(CUacDevice& device) {
    const std::uint32_t count = device.GetEntityCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* entity = device.EntityAt(index);
        CQueriedInterface<IUacEntity> uac(entity, IID_IUacEntity);
        std::uint32_t nodeId = 0;
        if (!uac || !kernel::succeeded(uac->GetOutputNodeId(&nodeId))) continue;
        const kernel::NTSTATUS status = ResolveSourcesOf(device, *entity, *uac.Get());
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS WalkControlInterface(CUacDevice& device, const usb::InterfaceDescriptor* interface,
                                      std::uint32_t length) {
    const bool uac2 = device.AudioRelease() == usb::AudioRelease::uac2;
    kernel::NTSTATUS status = WalkControlDescriptors(device, interface, length,
                                                     uac2 ? CreateUac2Entity : CreateUac1Entity);
    if (kernel::succeeded(status)) status = ResolveEntitySources(device);
    if (!kernel::succeeded(status) || uac2) return status;
    if (device.VendorId() == HeadphoneTerminalVendor && device.ProductId() == TwoOutputProduct &&
        (!HasOutputTerminal(device, HeadphoneTerminalId) ||
         !HasOutputTerminal(device, SecondOutputTerminalId)))
        return kernel::STATUS_UNSUCCESSFUL;
    return kernel::STATUS_SUCCESS;
}
