#include "driver/devmodel/uac2_device.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/uac_device_create.h"
#include "driver/devmodel/uac_endpoint_info.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/engine/queried_interface.h"

#include <chrono>

namespace {

constexpr StatusPipeRules Uac2StatusPipe = {.statusPacketSize = 6, .secondBulkPipe = true};
constexpr std::uint32_t InputTerminalType = 2;
constexpr std::uint32_t OutputTerminalType = 3;
constexpr std::uint8_t ConnectorControl = 2;
constexpr std::uint8_t CurAttribute = 1;
constexpr std::uint32_t MessageBytes = 6;
constexpr std::uint32_t SecondPipeBytes = 512;
// No node has this id: OnDeviceChange left the id unwritten.
constexpr std::uint32_t NoNode = 0xFFFFFFFF;

} // namespace

kernel::NTSTATUS CreateUac2Device(INonDelegatingUnknown** out, kernel::IUnknown* outer,
                                  std::uint16_t vendorId, std::uint16_t productId) {
    return CreateDriverObject<CUac2Device>(out, outer, kernel::PoolType::NonPagedNx, Uac2DeviceTag,
                                           vendorId, productId);
}

CUac2Device::~CUac2Device() { m_StatusPipe.StopThread(); }

kernel::NTSTATUS CUac2Device::GetEndpointInfoRecord(std::uint32_t direction,
                                                    std::uint32_t endpointType,
                                                    EndpointInfoRecord* record) {
    if (record == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *record = Uac2EndpointInfo(
        {VendorId(), ProductId(), direction, endpointType, GetEndpointCount()}, m_InfoRecord);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUac2Device::Start() {
    IUsbDevice* usb = UsbFaceOf(UsbDevice());
    if (m_StatusPipe.Running() || ControlInterfaceNumber() == NoControlInterface || usb == nullptr)
        return kernel::STATUS_SUCCESS;
    bool found = false;
    const kernel::NTSTATUS status =
        m_StatusPipe.Select(*usb, ControlInterfaceNumber(), Uac2StatusPipe, &found);
    if (!kernel::succeeded(status) || !found) return status;
    return m_StatusPipe.StartThread(StatusThread, this, Uac2StatusThreadPriority);
}

kernel::NTSTATUS CUac2Device::Stop() {
    m_StatusPipe.StopThread();
    return kernel::STATUS_SUCCESS;
}

void CUac2Device::WaitBeforeInstall() {
    std::uint32_t milliseconds = 0;
    if (kernel::succeeded(AccessSetting(GetDeviceObject(), SETTING_READ, &milliseconds,
                                        sizeof milliseconds, u"UpdateMiniportDelay")))
        kernel::delayExecution(std::chrono::milliseconds(milliseconds));
}

kernel::NTSTATUS CUac2Device::OnStatus(std::uint32_t entityId, std::uint8_t selector,
                                       std::uint8_t channel) {
    IAudioNode* entity = nullptr;
    kernel::NTSTATUS status = FindEntityById(entityId, &entity);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<IUacEntity> uac(entity, IID_IUacEntity);
    if (!uac) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t nodeId = NoNode;
    status = uac->OnDeviceChange(selector, channel, &nodeId);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t type = entity->GetType();
    if (type == InputTerminalType || type == OutputTerminalType)
        return selector == ConnectorControl ? ReinstallEndpoints() : kernel::STATUS_SUCCESS;
    if (nodeId != NoNode) SendControlChange(nodeId);
    return kernel::STATUS_SUCCESS;
}

// bInfo, bAttribute, wValue (control selector, channel), wIndex (entity,
// interface): only class-defined CUR changes of this AudioControl
// interface's entities are followed.
void CUac2Device::OnStatusMessage(const std::uint8_t* message, std::uint32_t length) {
    if (length < MessageBytes || (message[0] & 0x03) != 0 || message[1] != CurAttribute ||
        message[4] != ControlInterfaceNumber())
        return;
    OnStatus(message[5], message[3], message[2]);
}

void CUac2Device::StatusThread(void* context) {
    static_cast<CUac2Device*>(context)->RunStatusThread();
}

void CUac2Device::RunStatusThread() {
    IUsbDevice* usb = UsbFaceOf(UsbDevice());
    if (usb == nullptr) return;
    std::uint8_t message[MessageBytes] = {};
    CPoolBuffer bulk;
    CPipeReader* second = nullptr;
    if (m_StatusPipe.SecondPipe() != nullptr) {
        bulk = CPoolBuffer(kernel::PoolType::NonPagedNx, SecondPipeBytes, Uac2DeviceTag);
        if (!bulk.IsValid()) return;
        second = new (kernel::PoolType::NonPagedNx, Uac2DeviceTag)
            CPipeReader(*usb, m_StatusPipe.SecondPipe(), bulk.Get(), SecondPipeBytes);
        if (second == nullptr) return;
    }
    auto* status = new (kernel::PoolType::NonPagedNx, Uac2DeviceTag)
        CPipeReader(*usb, m_StatusPipe.StatusPipe(), message, sizeof message);
    if (status != nullptr && status->HasRequest() && (second == nullptr || second->HasRequest())) {
        bool running = kernel::succeeded(status->Submit());
        if (running && second != nullptr) running = kernel::succeeded(second->Submit());
        kernel::Event& stop = m_StatusPipe.StopEvent();
        while (running) {
            const kernel::NTSTATUS woken =
                second != nullptr
                    ? kernel::waitForAnyObject({&status->Completed(), &stop, &second->Completed()},
                                               kernel::Timeout::infinite())
                    : kernel::waitForAnyObject({&status->Completed(), &stop},
                                               kernel::Timeout::infinite());
            if (woken == kernel::STATUS_WAIT_0) {
                running = status->Succeeded();
                if (running) OnStatusMessage(message, status->BytesRead());
                if (running) running = kernel::succeeded(status->Submit());
            } else if (woken == kernel::STATUS_WAIT_0 + 2) {
                running = second->Succeeded() && kernel::succeeded(second->Submit());
            } else {
                running = false;
            }
        }
        // Aborting a pipe cancels the read pending on it.
        AbortPipe(*usb, m_StatusPipe.StatusPipe());
        if (second != nullptr) AbortPipe(*usb, m_StatusPipe.SecondPipe());
        status->WaitIdle();
        if (second != nullptr) second->WaitIdle();
    }
    delete status;
    delete second;
}
