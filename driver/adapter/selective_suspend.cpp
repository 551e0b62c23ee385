#include "driver/adapter/selective_suspend.h"

#include "driver/adapter/usb_adapter_tags.h"
#include "platform/io/power_request.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/interlocked.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/work_item.h"

#include <utility>

// What a timer expiry hands its work item.
struct CSelectiveSuspend::WorkRecord {
    kernel::WorkItem* item;
    CSelectiveSuspend* owner;
};

namespace {

struct PowerWait {
    kernel::Event done{kernel::EventType::Notification, false};
};

void PowerRequestDone(io::DeviceObject*, std::uint8_t, io::DevicePowerState, void* context,
                      const io::IoStatusBlock&) {
    static_cast<PowerWait*>(context)->done.set();
}

} // namespace

void CSelectiveSuspend::Stop() {
    // No expiry, work item or completion may arm anything from here on.
    kernel::interlockedExchange(m_lStopping, 1);
    StopTimer();
    kernel::waitForSingleObject(m_WorkItemEvent, kernel::Timeout::infinite());
    kernel::waitForSingleObject(m_IdleRequestEvent, kernel::Timeout::infinite());
    kernel::waitForSingleObject(m_PowerUpEvent, kernel::Timeout::infinite());
    // A completion that looked before the flag was set may have set it again.
    StopTimer();
}

void CSelectiveSuspend::StopTimer() {
    m_Timer.cancel();
    kernel::flushQueuedDpcs();
}

void CSelectiveSuspend::Init(io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice,
                             bool enabled) {
    m_pLowerDevice = lowerDevice;
    m_pPhysicalDevice = physicalDevice;
    m_bEnabled = enabled;
}

void CSelectiveSuspend::Arm() {
    if (m_bEnabled && kernel::interlockedRead(m_lStopping) == 0)
        m_Timer.set(IdleCheckDelay, IdleCheckPeriod, &m_Dpc);
}

bool CSelectiveSuspend::IsIdle() const {
    return kernel::interlockedRead(m_lBusy) == 1 && kernel::interlockedRead(m_lActiveStreams) == 0;
}

void CSelectiveSuspend::BeginBusy() { kernel::interlockedIncrement(m_lBusy); }
void CSelectiveSuspend::EndBusy() { kernel::interlockedDecrement(m_lBusy); }

std::int32_t CSelectiveSuspend::AddActiveStream() {
    return kernel::interlockedIncrement(m_lActiveStreams);
}

std::int32_t CSelectiveSuspend::ReleaseActiveStream() {
    return kernel::interlockedDecrement(m_lActiveStreams);
}

io::DevicePowerState CSelectiveSuspend::GetPowerState() const {
    return static_cast<io::DevicePowerState>(kernel::interlockedRead(m_PowerState));
}

void CSelectiveSuspend::SetPowerState(io::DevicePowerState state) {
    kernel::interlockedExchange(m_PowerState, static_cast<std::uint32_t>(state));
}

bool CSelectiveSuspend::IdleRequestOutstanding() const {
    kernel::SpinLockGuard guard(m_Lock);
    return m_bPending;
}

void CSelectiveSuspend::TimerDpc(kernel::Dpc&, void* context, void*, void*) {
    static_cast<CSelectiveSuspend*>(context)->QueueIdleCheck();
}

void CSelectiveSuspend::QueueIdleCheck() {
    auto* record = static_cast<WorkRecord*>(
        kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(WorkRecord), UsbAdapterTag));
    m_WorkItemEvent.clear();
    kernel::WorkItem* item = nullptr;
    if (record != nullptr && IsIdle() && kernel::interlockedRead(m_lStopping) == 0)
        item = kernel::allocateWorkItem();
    if (item == nullptr) {
        if (record != nullptr) kernel::freePoolWithTag(record, UsbAdapterTag);
        m_WorkItemEvent.set();
        return;
    }
    *record = {item, this};
    kernel::queueWorkItem(*item, WorkRoutine, record);
}

void CSelectiveSuspend::WorkRoutine(void* context) {
    const WorkRecord record = *static_cast<WorkRecord*>(context);
    kernel::freePoolWithTag(context, UsbAdapterTag);
    if (record.owner->IsIdle() && kernel::interlockedRead(record.owner->m_lStopping) == 0)
        record.owner->SubmitIdleRequest();
    // The owner may go as soon as the event is set: nothing of it is touched after.
    record.owner->m_WorkItemEvent.set();
    kernel::freeWorkItem(record.item);
}

kernel::NTSTATUS CSelectiveSuspend::SubmitIdleRequest() {
    if (GetPowerState() != io::DevicePowerState::D0) return kernel::STATUS_POWER_STATE_INVALID;
    {
        kernel::SpinLockGuard guard(m_Lock);
        if (m_bPending) return kernel::STATUS_DEVICE_BUSY;
        m_bPending = true;
    }
    m_IdleRequestEvent.clear();
    auto* record = static_cast<usb::IdleCallbackInfo*>(kernel::allocatePool(
        kernel::PoolType::NonPagedNx, sizeof(usb::IdleCallbackInfo), UsbAdapterTag));
    io::Irp* irp = io::allocateIrp(static_cast<std::int8_t>(m_pLowerDevice->stackSize() + 1));
    if (record == nullptr || irp == nullptr) {
        if (record != nullptr) kernel::freePoolWithTag(record, UsbAdapterTag);
        if (irp != nullptr) io::freeIrp(irp);
        {
            kernel::SpinLockGuard guard(m_Lock);
            m_bPending = false;
        }
        m_IdleRequestEvent.set();
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    *record = {IdleCallback, this};
    io::IoStackLocation* location = io::nextStackLocation(irp);
    location->majorFunction = io::major::InternalDeviceControl;
    location->parameters.deviceIoControl.ioControlCode =
        usb::internal_ioctl::submitIdleNotification;
    location->parameters.deviceIoControl.type3InputBuffer = record;
    location->parameters.deviceIoControl.inputBufferLength = sizeof(usb::IdleCallbackInfo);
    io::setCompletionRoutine(irp, IdleRequestCompleted, this, true, true, true);
    {
        kernel::SpinLockGuard guard(m_Lock);
        m_pIdleIrp = irp;
        m_pCallbackRecord = record;
    }
    kernel::interlockedExchange(m_lIdleRequestCount, 2);
    if (IsIdle() && GetPowerState() == io::DevicePowerState::D0) {
        if (m_bEnabled) m_Timer.cancel();
        return io::callDriver(m_pLowerDevice, irp);
    }
    {
        kernel::SpinLockGuard guard(m_Lock);
        m_pIdleIrp = nullptr;
        m_pCallbackRecord = nullptr;
        m_bPending = false;
    }
    kernel::freePoolWithTag(record, UsbAdapterTag);
    io::freeIrp(irp);
    m_IdleRequestEvent.set();
    return kernel::STATUS_UNSUCCESSFUL;
}

// The hub is about to suspend the port: the device goes to D3 first.
void CSelectiveSuspend::IdleCallback(void* context) {
    auto* self = static_cast<CSelectiveSuspend*>(context);
    PowerWait wait;
    if (io::requestDevicePowerState(self->m_pPhysicalDevice, io::DevicePowerState::D3,
                                    PowerRequestDone, &wait) == kernel::STATUS_PENDING)
        kernel::waitForSingleObject(wait.done, kernel::Timeout::infinite());
}

kernel::NTSTATUS CSelectiveSuspend::IdleRequestCompleted(io::DeviceObject*, io::Irp* irp,
                                                         void* context) {
    auto* self = static_cast<CSelectiveSuspend*>(context);
    const kernel::NTSTATUS status = irp->ioStatus.status;
    // A hub without selective suspend refuses it; the device never went down then.
    if (!kernel::succeeded(status) && status != kernel::STATUS_NOT_SUPPORTED &&
        self->GetPowerState() != io::DevicePowerState::D0)
        self->RequestPowerUp();
    usb::IdleCallbackInfo* record = nullptr;
    bool stillSet = false;
    {
        kernel::SpinLockGuard guard(self->m_Lock);
        record = std::exchange(self->m_pCallbackRecord, nullptr);
        stillSet = std::exchange(self->m_pIdleIrp, nullptr) != nullptr;
        self->m_bPending = false;
    }
    if (record != nullptr) kernel::freePoolWithTag(record, UsbAdapterTag);
    // The timer is set again before the request is let go: the owner may be
    // waiting for that to end.
    self->Arm();
    if (stillSet) {
        // The cancel path never saw the request and never will.
        io::freeIrp(irp);
        self->m_IdleRequestEvent.set();
    } else {
        self->ReleaseIdleRequest(irp);
    }
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

void CSelectiveSuspend::ReleaseIdleRequest(io::Irp* irp) {
    if (kernel::interlockedDecrement(m_lIdleRequestCount) != 0) return;
    io::freeIrp(irp);
    m_IdleRequestEvent.set();
}

void CSelectiveSuspend::RequestPowerUp() {
    m_PowerUpEvent.clear();
    if (io::requestDevicePowerState(m_pPhysicalDevice, io::DevicePowerState::D0, PowerUpCompleted,
                                    this) != kernel::STATUS_PENDING)
        m_PowerUpEvent.set();
}

void CSelectiveSuspend::PowerUpCompleted(io::DeviceObject*, std::uint8_t, io::DevicePowerState,
                                         void* context, const io::IoStatusBlock&) {
    static_cast<CSelectiveSuspend*>(context)->m_PowerUpEvent.set();
}

void CSelectiveSuspend::CancelIdleRequest() {
    io::Irp* irp = nullptr;
    {
        kernel::SpinLockGuard guard(m_Lock);
        if (!IsIdle()) irp = std::exchange(m_pIdleIrp, nullptr);
    }
    if (irp == nullptr) return;
    io::cancelIrp(irp);
    ReleaseIdleRequest(irp);
}

void CSelectiveSuspend::Wake() {
    BeginBusy();
    CancelIdleRequest();
    kernel::waitForSingleObject(m_IdleRequestEvent, WakeWait);
    kernel::waitForSingleObject(m_PowerUpEvent, WakeWait);
    EndBusy();
}
