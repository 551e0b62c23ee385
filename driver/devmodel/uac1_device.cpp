#include "driver/devmodel/uac1_device.h"

#include "driver/devmodel/uac_device_create.h"
#include "driver/devmodel/uac_endpoint_info.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/queried_interface.h"

namespace {

constexpr StatusPipeRules Uac1StatusPipe = {.statusPacketSize = 2, .secondBulkPipe = false};
constexpr std::uint32_t InputTerminalType = 2;
constexpr std::uint32_t OutputTerminalType = 3;

} // namespace

kernel::NTSTATUS CreateUac1Device(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                  std::uint16_t vendorId, std::uint16_t productId) {
    return CreateDriverObject<CUac1Device>(out, outer, kernel::PoolType::NonPagedNx, Uac1DeviceTag,
                                           vendorId, productId);
}

CUac1Device::~CUac1Device() { Stop(); }

kernel::NTSTATUS CUac1Device::ParseDescriptors() {
    const kernel::NTSTATUS status = IdentifyProduct();
    return kernel::succeeded(status) ? ParseInterfaces() : status;
}

kernel::NTSTATUS CUac1Device::GetEndpointInfoRecord(std::uint32_t direction,
                                                    std::uint32_t endpointType,
                                                    EndpointInfoRecord* record) {
    if (record == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *record = Uac1EndpointInfo(
        {VendorId(), ProductId(), direction, endpointType, GetEndpointCount()}, m_InfoRecord);
    return kernel::STATUS_SUCCESS;
}

// Without an AudioControl interface, or a status pipe on it, the device
// runs without notifications.
kernel::NTSTATUS CUac1Device::Start() {
    IUsbDevice* usb = UsbFaceOf(UsbDevice());
    if (m_StatusPipe.Running() || ControlInterfaceNumber() == NoControlInterface || usb == nullptr)
        return CAudioHal::Start();
    bool found = false;
    kernel::NTSTATUS status =
        m_StatusPipe.Select(*usb, ControlInterfaceNumber(), Uac1StatusPipe, &found);
    if (!kernel::succeeded(status)) return status;
    if (found) status = m_StatusPipe.StartThread(StatusThread, this, Uac1StatusThreadPriority);
    if (!kernel::succeeded(status)) return status;
    return CAudioHal::Start();
}

kernel::NTSTATUS CUac1Device::Stop() {
    if (!kernel::succeeded(CAudioHal::Stop()) || !m_StatusPipe.Running())
        return kernel::STATUS_SUCCESS;
    m_StatusPipe.StopThread();
    return kernel::STATUS_SUCCESS;
}

// The entity re-reads itself. A terminal's change may be a jack: every
// endpoint is installed again; any other entity announces each item that
// read back from the device.
kernel::NTSTATUS CUac1Device::OnStatus(std::uint32_t entityId) {
    IAudioNode* entity = nullptr;
    kernel::NTSTATUS status = FindEntityById(entityId, &entity);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<IUacEntity> uac(entity, IID_IUacEntity);
    if (!uac) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t nodeId = 0;
    status = uac->OnDeviceChange(0, 0, &nodeId);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t type = entity->GetType();
    if (type == InputTerminalType || type == OutputTerminalType) return ReinstallEndpoints();
    auto* items = dynamic_cast<CUacEntity*>(entity);
    std::uint32_t count = 0;
    if (items == nullptr || !kernel::succeeded(items->GetItemCount(&count)))
        return kernel::STATUS_SUCCESS;
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* item = nullptr;
        if (kernel::succeeded(items->GetItemAt(index, &item)) && item != nullptr &&
            kernel::succeeded(item->ReadFromDevice()))
            SendControlChange(item->GetId());
    }
    return kernel::STATUS_SUCCESS;
}

// Byte 0's low nibble names the originator: 0 is the AudioControl
// interface, whose entity byte 1 names. Endpoints and memory are ignored.
void CUac1Device::OnStatusMessage(const std::uint8_t* message, std::uint32_t length) {
    if (length >= 2 && (message[0] & 0x0F) == 0) OnStatus(message[1]);
}

void CUac1Device::RefreshEntities() {
    const std::uint32_t count = GetEntityCount();
    for (std::uint32_t index = 0; index < count; ++index)
        if (IAudioNode* entity = EntityAt(index)) OnStatus(entity->GetId());
}

void CUac1Device::StatusThread(void* context) {
    static_cast<CUac1Device*>(context)->RunStatusThread();
}

// Failures end the thread quietly: the device works on without
// notifications.
void CUac1Device::RunStatusThread() {
    IUsbDevice* usb = UsbFaceOf(UsbDevice());
    if (usb == nullptr) return;
    std::uint8_t message[2] = {};
    auto* reader = new (kernel::PoolType::NonPagedNx, Uac1DeviceTag)
        CPipeReader(*usb, m_StatusPipe.StatusPipe(), message, sizeof message);
    if (reader == nullptr) return;
    if (reader->HasRequest()) {
        kernel::NTSTATUS sent = reader->Submit();
        RefreshEntities();
        while (kernel::succeeded(sent)) {
            const kernel::NTSTATUS woken = kernel::waitForAnyObject(
                {&reader->Completed(), &m_StatusPipe.StopEvent()}, kernel::Timeout::infinite());
            if (woken != kernel::STATUS_WAIT_0) {
                AbortPipe(*usb, m_StatusPipe.StatusPipe());
                break;
            }
            if (!reader->Succeeded()) break;
            OnStatusMessage(message, reader->BytesRead());
            sent = reader->Submit();
        }
        reader->WaitIdle();
    }
    delete reader;
}
