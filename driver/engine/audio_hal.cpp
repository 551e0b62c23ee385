#include "driver/engine/audio_hal.h"

#include "driver/common/pool_buffer.h"
#include "driver/engine/callback_registration.h"
#include "driver/engine/control_change.h"
#include "platform/kernel/format.h"
#include "platform/kernel/object.h"
#include "platform/kernel/unicode_string.h"

namespace {

// The callback object's name buffer: 102 bytes, of which the name with its
// terminating zero may fill 98.
constexpr std::size_t CallbackNameBytes = 102;
constexpr std::size_t CallbackNameMaxChars = 98 / sizeof(char16_t);

} // namespace

CAudioHal::~CAudioHal() {
    FreeLists();
    if (m_pCallback != nullptr) kernel::dereferenceObject(*m_pCallback);
}

void CAudioHal::FreeLists() {
    m_Endpoints.Free();
    m_Children.Free();
}

kernel::NTSTATUS CAudioHal::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, kernel::IID_IUnknown) || IsEqualId(id, IID_IAudioHal))
        return ReturnInterface(static_cast<IAudioHal*>(this), object);
    if (IsEqualId(id, portcls::IID_IAdapterPowerManagement))
        return ReturnInterface(static_cast<portcls::IAdapterPowerManagement*>(this), object);
    *object = nullptr;
    return kernel::STATUS_INVALID_PARAMETER;
}

kernel::NTSTATUS CAudioHal::GetInfoRecord(std::uint32_t, EndpointInfoRecord* record) {
    return ReportValue(m_InfoRecord, record);
}

kernel::NTSTATUS CAudioHal::GetEndpointInfoRecord(std::uint32_t, std::uint32_t,
                                                  EndpointInfoRecord* record) {
    return ReportValue(m_InfoRecord, record);
}

kernel::NTSTATUS CAudioHal::CreateCallbackObject() {
    if (m_pCallback != nullptr) return kernel::STATUS_SUCCESS;
    CPoolBuffer name(kernel::PoolType::Paged, CallbackNameBytes, TemporaryTag);
    if (!name.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    const kernel::NTSTATUS formatted =
        kernel::formatString(name.Get<char16_t>(), CallbackNameMaxChars,
                             u"\\Callback\\AudioHalAddr%p", static_cast<const void*>(this));
    if (!kernel::succeeded(formatted)) return formatted;
    return kernel::createCallbackObject(
        &m_pCallback, kernel::makeUnicodeString(name.Get<char16_t>()), true, true);
}

kernel::NTSTATUS CAudioHal::Init(const io::ResourceList*, io::DeviceObject* device,
                                 io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice) {
    if (m_Children.Exists()) return kernel::STATUS_UNSUCCESSFUL; // initialised once
    kernel::NTSTATUS status = m_Children.Create(HalListTag);
    if (kernel::succeeded(status)) status = m_Endpoints.Create(HalListTag);
    if (kernel::succeeded(status)) status = CreateCallbackObject();
    if (kernel::succeeded(status)) {
        m_pDeviceObject = device;
        m_pLowerDeviceObject = lowerDevice;
        m_pPhysicalDeviceObject = physicalDevice;
        m_PowerState = io::DevicePowerState::D0;
        status = ParseDescriptors();
    }
    if (kernel::succeeded(status)) status = ConnectGraph();
    if (!kernel::succeeded(status)) FreeLists();
    return status;
}

kernel::NTSTATUS CAudioHal::Start() {
    m_Children.ForEachUntilFailure([](IAudioNode* child) {
        child->Start();
        return kernel::STATUS_SUCCESS;
    });
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAudioHal::Stop() {
    m_Children.ForEachUntilFailure([](IAudioNode* child) {
        child->Stop();
        return kernel::STATUS_SUCCESS;
    });
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAudioHal::RegisterCallback(kernel::CallbackFunction function, void* context,
                                             kernel::CallbackRegistration** handle) {
    return RegisterOnCallbackObject(m_pCallback, function, context, handle);
}

kernel::NTSTATUS CAudioHal::UnregisterCallback(kernel::CallbackRegistration* handle) {
    return UnregisterFromCallbackObject(handle);
}

void CAudioHal::SendControlChange(std::uint32_t nodeId) {
    if (m_pCallback != nullptr) NotifyControlChange(*m_pCallback, nodeId);
}

void CAudioHal::PowerChangeState(io::DevicePowerState newState) {
    if (newState == m_PowerState) return;
    switch (newState) {
    case io::DevicePowerState::D0:
        ApplyToChildren();
        m_PowerState = newState;
        break;
    case io::DevicePowerState::D1:
    case io::DevicePowerState::D2:
    case io::DevicePowerState::D3:
        m_PowerState = newState;
        break;
    default:
        break;
    }
}

kernel::NTSTATUS CAudioHal::QueryDeviceCapabilities(io::DeviceCapabilities* capabilities) {
    if (capabilities == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    capabilities->flags |= io::capability_flags::surpriseRemovalOk;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAudioHal::FindChildById(std::uint32_t id, IAudioNode** child) const {
    if (child == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *child = nullptr;
    m_Children.ForEachUntilFailure([&](IAudioNode* candidate) {
        if (candidate->GetId() == id) *child = candidate;
        return kernel::STATUS_SUCCESS;
    });
    return *child != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CAudioHal::ApplyToChildren() {
    return m_Children.ForEachUntilFailure([](IAudioNode* child) { return child->ApplyToDevice(); });
}
