#include "driver/devmodel/uac_device.h"

#include "driver/common/list.h"
#include "driver/devmodel/control_walk.h"
#include "driver/devmodel/streaming_walk.h"
#include "driver/engine/queried_interface.h"
#include "platform/usb/configuration.h"

#include <span>

namespace {

constexpr std::uint8_t AudioClass = 1;
constexpr std::uint8_t AudioControlSubclass = 1;
constexpr std::uint8_t AudioStreamingSubclass = 2;

// The bytes from a descriptor to the end of the configuration.
std::uint32_t BytesFrom(const usb::ConfigurationView& view, const void* descriptor) {
    return static_cast<std::uint32_t>(
        view.bytes().size() - (static_cast<const std::uint8_t*>(descriptor) - view.bytes().data()));
}

} // namespace

CUacDevice::CUacDevice(kernel::IUnknown* outer, std::uint16_t vendorId, std::uint16_t productId,
                       usb::AudioRelease release, kernel::PoolTag tag)
    : CForwardingUnknown(outer), m_usVendorId(vendorId), m_usProductId(productId),
      m_Release(release), m_Tag(tag) {}

CUacDevice::~CUacDevice() {
    if (m_pEntities == nullptr) return;
    void* data = nullptr;
    while (m_pEntities->RemoveHead(&data)) static_cast<IAudioNode*>(data)->Release();
    delete m_pEntities;
}

kernel::NTSTATUS CUacDevice::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioHal::NonDelegatingQueryInterface(id, object),
                           static_cast<IAudioDeviceModel*>(this), id, IID_IAudioDeviceModel,
                           object);
}

kernel::NTSTATUS CUacDevice::Init(const io::ResourceList* resources, io::DeviceObject* device,
                                  io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice) {
    if (m_pEntities == nullptr) {
        m_pEntities = new (kernel::PoolType::NonPagedNx, m_Tag) CList;
        if (m_pEntities == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    return CAudioHal::Init(resources, device, lowerDevice, physicalDevice);
}

kernel::NTSTATUS CUacDevice::ParseDescriptors() { return ParseInterfaces(); }

// The configuration is checked whole against the descriptor table before
// either walk reads a field of it.
kernel::NTSTATUS CUacDevice::ParseInterfaces() {
    CQueriedInterface<IUsbDevice> usb(UsbDevice(), IID_IUsbDevice);
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    const usb::ConfigurationDescriptor* configuration = usb->GetConfigurationDescriptor();
    if (configuration == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const usb::ConfigurationView view(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(configuration), configuration->wTotalLength.value()));
    if (!view.valid()) return view.status();

    const usb::InterfaceDescriptor* control =
        view.findInterface({.interfaceClass = AudioClass, .subclass = AudioControlSubclass});
    if (control != nullptr) {
        m_ControlInterface = control->bInterfaceNumber;
        const kernel::NTSTATUS status = ParseControlInterface(control, BytesFrom(view, control));
        if (!kernel::succeeded(status)) return status;
    }
    const usb::InterfaceDescriptor* streaming =
        view.findInterface({.interfaceClass = AudioClass, .subclass = AudioStreamingSubclass});
    if (streaming == nullptr) return kernel::STATUS_SUCCESS;
    return ParseStreamingInterfaces(configuration, streaming, BytesFrom(view, streaming));
}

kernel::NTSTATUS CUacDevice::ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                                   std::uint32_t length) {
    return WalkControlInterface(*this, interface, length);
}

kernel::NTSTATUS
CUacDevice::ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                                     const usb::InterfaceDescriptor* interface,
                                     std::uint32_t length) {
    return WalkStreamingInterfaces(*this, configuration, interface, length);
}

kernel::NTSTATUS CUacDevice::GetCallbackObject(kernel::CallbackObject** object) {
    if (object == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *object = CAudioHal::GetCallbackObject();
    return kernel::STATUS_SUCCESS;
}

// The record of the endpoint at the index, the last one for an index past
// the end; with no endpoint at all there is nothing to describe.
kernel::NTSTATUS CUacDevice::GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) {
    const std::uint32_t count = GetEndpointCount();
    if (count == 0) return kernel::STATUS_UNSUCCESSFUL;
    IStreamEngine* engine = nullptr;
    const kernel::NTSTATUS found = GetEndpoint(endpoint < count ? endpoint : count - 1, &engine);
    if (!kernel::succeeded(found)) return found;
    const kernel::NTSTATUS status =
        GetEndpointInfoRecord(engine->GetDirection(), engine->GetEndpointType(), record);
    return status < 0 ? status : kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacDevice::FindEntityById(std::uint32_t id, IAudioNode** entity) const {
    if (entity == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *entity = nullptr;
    if (m_pEntities == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CListNode* position = m_pEntities->GetHead();
    void* data = nullptr;
    while (m_pEntities->GetNext(position, &data)) {
        auto* candidate = static_cast<IAudioNode*>(data);
        if (candidate->GetId() == id) *entity = candidate;
    }
    return *entity != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CUacDevice::AddEntity(IAudioNode* entity) {
    if (entity == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pEntities == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    entity->AddRef();
    if (m_pEntities->AddHead(entity) != nullptr) return kernel::STATUS_SUCCESS;
    entity->Release();
    return kernel::STATUS_INSUFFICIENT_RESOURCES;
}

std::uint32_t CUacDevice::GetEntityCount() const {
    return m_pEntities != nullptr ? static_cast<std::uint32_t>(m_pEntities->GetCount()) : 0;
}

IAudioNode* CUacDevice::EntityAt(std::uint32_t index) const {
    void* data = nullptr;
    if (m_pEntities == nullptr || !m_pEntities->GetAt(index, &data)) return nullptr;
    return static_cast<IAudioNode*>(data);
}

kernel::NTSTATUS CUacDevice::ReinstallEndpoints() {
    const std::uint32_t count = GetEndpointCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IStreamEngine* engine = nullptr;
        kernel::NTSTATUS status = GetEndpoint(index, &engine);
        if (kernel::succeeded(status))
            status = engine->Install(GetDeviceObject(), nullptr, static_cast<IAudioHal*>(this));
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

// Other states than D0..D3, and the state in force, change nothing.
void CUacDevice::PowerChangeState(io::DevicePowerState newState) {
    if (newState == GetPowerState() || newState < io::DevicePowerState::D0 ||
        newState > io::DevicePowerState::D3)
        return;
    const bool powerUp = newState == io::DevicePowerState::D0;
    if (powerUp) {
        if (RunsAfterParseOnPowerUp()) AfterParse();
        ApplyToChildren();
    }
    SetPowerState(newState);
    if (powerUp) ReinstallEndpoints();
    if (powerUp)
        Start();
    else
        Stop();
}
