#include "driver/adapter/usb_audio_adapter.h"

#include "driver/adapter/device_strings.h"
#include "driver/adapter/settings_ini_file.h"
#include "driver/adapter/usb_adapter_tags.h"
#include "driver/common/interface_ids.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/interlocked.h"

namespace {

// The identity the adapter reports: the vendor and product ids added to the
// first word of their identifiers.
constexpr kernel::Guid ManufacturerIdBase =
    kernel::makeGuid("{4E1CECD2-1679-463B-A72F-A5BF64C86EBA}");
constexpr kernel::Guid ProductIdBase = kernel::makeGuid("{ABCC5A5E-C263-463B-A72F-A5BF64C86EBA}");
constexpr kernel::Guid ComponentIdentifier =
    kernel::makeGuid("{8F1275F0-26E9-4264-BA4D-39FFF01D94AA}");

} // namespace

kernel::NTSTATUS CreateUsbAudioAdapter(kernel::IUnknown** adapter, DeviceModelTable models) {
    if (adapter == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *adapter = nullptr;
    CUsbAudioAdapter* object = nullptr;
    const kernel::NTSTATUS status = CreateDriverObject<CUsbAudioAdapter>(
        &object, nullptr, kernel::PoolType::NonPagedNx, UsbAdapterObjectTag, models);
    if (kernel::succeeded(status)) *adapter = static_cast<IAudioHal*>(object);
    return status;
}

kernel::NTSTATUS CreateUsbAudioAdapter(INonDelegatingUnknown** adapter, kernel::IUnknown* outer,
                                       DeviceModelTable models) {
    if (outer == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    return CreateDriverObject<CUsbAudioAdapter>(adapter, outer, kernel::PoolType::NonPagedNx,
                                                UsbAdapterObjectTag, models);
}

CUsbAudioAdapter::CUsbAudioAdapter(kernel::IUnknown* outer, DeviceModelTable models)
    : CForwardingUnknown(outer), m_Models(models) {
    HoldTimerResolution(true);
}

CUsbAudioAdapter::~CUsbAudioAdapter() {
    // Nothing of the suspend machinery or the ASIO rings may call into the
    // model once it is gone.
    m_Suspend.Stop();
    m_AsioPrivate.Shutdown();
    ReleaseModel();
    if (m_bBusInterface && m_BusInterface.header.interfaceDereference != nullptr)
        m_BusInterface.header.interfaceDereference(m_BusInterface.header.context);
    HoldTimerResolution(false);
}

void CUsbAudioAdapter::ReleaseModel() {
    if (m_pModelUnknown != nullptr) m_pModelUnknown->NonDelegatingRelease();
    m_pModelUnknown = nullptr;
    m_pModelHal = nullptr;
    m_pModel = nullptr;
    m_pModelPower = nullptr;
}

kernel::NTSTATUS CUsbAudioAdapter::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                               void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, IID_IUsbDevice))
        return ReturnInterface(static_cast<IUsbDevice*>(this), object);
    if (IsEqualId(id, IID_IAsioPrivate))
        return ReturnInterface(static_cast<IAsioPrivate*>(&m_AsioPrivate), object);
    if (IsEqualId(id, IID_IAudioDeviceModel)) {
        if (m_pModel != nullptr) return ReturnInterface(m_pModel, object);
        *object = nullptr;
        return kernel::STATUS_INVALID_PARAMETER;
    }
    return CAudioHal::NonDelegatingQueryInterface(id, object);
}

kernel::NTSTATUS CUsbAudioAdapter::Init(const io::ResourceList* resources, io::DeviceObject* device,
                                        io::DeviceObject* lowerDevice,
                                        io::DeviceObject* physicalDevice) {
    kernel::interlockedExchange(m_Present, 1u);
    const kernel::NTSTATUS imported = ImportSettingsIni(device);
    if (imported == kernel::STATUS_INSUFFICIENT_RESOURCES) return imported;
    const kernel::NTSTATUS status = CAudioHal::Init(resources, device, lowerDevice, physicalDevice);
    const std::optional<std::uint32_t> enabled = ReadDeviceParameter(device, SelectiveSuspendValue);
    m_Suspend.Init(lowerDevice, physicalDevice, enabled.value_or(0) != 0);
    if (kernel::succeeded(status)) m_Suspend.Arm();
    return status;
}

const usb::ConfigurationDescriptor* CUsbAudioAdapter::GetConfigurationDescriptor() {
    return m_Configuration.Get<const usb::ConfigurationDescriptor>();
}

kernel::NTSTATUS CUsbAudioAdapter::SetDevicePresent(std::uint8_t present) {
    kernel::interlockedExchange(m_Present, std::uint32_t{present});
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::FreeIrp(io::Irp* irp) {
    io::freeIrp(irp);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::GetComponentId(ComponentId* id) {
    if (id == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *id = {};
    id->manufacturer = ManufacturerIdBase;
    id->manufacturer.data1 += m_VendorId;
    id->product = ProductIdBase;
    id->product.data1 += m_ProductId;
    id->component = ComponentIdentifier;
    return kernel::STATUS_SUCCESS;
}

// Until the model exists there is nothing to forward to: no endpoints, no
// children, and every request for one is refused.
kernel::NTSTATUS CUsbAudioAdapter::GetInfoRecord(std::uint32_t endpoint,
                                                 EndpointInfoRecord* record) {
    if (m_pModelHal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return m_pModelHal->GetInfoRecord(endpoint, record);
}

std::uint32_t CUsbAudioAdapter::GetEndpointCount() {
    return m_pModelHal != nullptr ? m_pModelHal->GetEndpointCount() : 0;
}

kernel::NTSTATUS CUsbAudioAdapter::GetEndpoint(std::uint32_t index, IStreamEngine** engine) {
    if (m_pModelHal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return m_pModelHal->GetEndpoint(index, engine);
}

std::uint32_t CUsbAudioAdapter::GetChildCount() {
    return m_pModelHal != nullptr ? m_pModelHal->GetChildCount() : 0;
}

kernel::NTSTATUS CUsbAudioAdapter::GetChild(std::uint32_t index, IAudioNode** child) {
    if (m_pModelHal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return m_pModelHal->GetChild(index, child);
}

kernel::NTSTATUS CUsbAudioAdapter::Start() {
    return m_pModelHal != nullptr ? m_pModelHal->Start() : kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::Stop() {
    return m_pModelHal != nullptr ? m_pModelHal->Stop() : kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::RegisterCallback(kernel::CallbackFunction function,
                                                    void* context,
                                                    kernel::CallbackRegistration** handle) {
    if (m_pModelHal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return m_pModelHal->RegisterCallback(function, context, handle);
}

kernel::NTSTATUS CUsbAudioAdapter::UnregisterCallback(kernel::CallbackRegistration* handle) {
    if (m_pModelHal == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return m_pModelHal->UnregisterCallback(handle);
}
