// The adapter's requests to the bus: request records with a time-out, port
// status, reset and cycle, the bus interface and the frame number.
#include "driver/adapter/usb_audio_adapter.h"

#include "platform/io/irp.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/event.h"
#include "platform/kernel/interlocked.h"

namespace {

kernel::NTSTATUS SignalDone(io::DeviceObject*, io::Irp*, void* context) {
    static_cast<kernel::Event*>(context)->set();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED; // the sender frees it
}

// Sends the request down and waits for it: at most `timeout`, then it is
// cancelled and waited for without limit. The request's status.
kernel::NTSTATUS SendWaited(io::DeviceObject* lower, io::Irp* irp, kernel::Timeout timeout) {
    kernel::Event done(kernel::EventType::Notification, false);
    io::setCompletionRoutine(irp, SignalDone, &done, true, true, true);
    const kernel::NTSTATUS sent = io::callDriver(lower, irp);
    if (sent != kernel::STATUS_PENDING) return sent;
    if (kernel::waitForSingleObject(done, timeout) == kernel::STATUS_TIMEOUT) {
        io::cancelIrp(irp);
        kernel::waitForSingleObject(done, kernel::Timeout::infinite());
    }
    return irp->ioStatus.status;
}

} // namespace

kernel::NTSTATUS CUsbAudioAdapter::SendIrp(io::Irp* irp) {
    return io::callDriver(GetLowerDeviceObject(), irp);
}

kernel::NTSTATUS CUsbAudioAdapter::SendAndWait(std::uint32_t code, void* argument,
                                               kernel::Timeout timeout) {
    io::Irp* irp = AllocateIrp();
    if (irp == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    io::IoStackLocation* location = io::nextStackLocation(irp);
    location->majorFunction = io::major::InternalDeviceControl;
    location->parameters.deviceIoControl.ioControlCode = code;
    location->parameters.others.argument1 = argument;
    const kernel::NTSTATUS status = SendWaited(GetLowerDeviceObject(), irp, timeout);
    io::freeIrp(irp);
    return status;
}

kernel::NTSTATUS CUsbAudioAdapter::SendPortControl(std::uint32_t code, void* argument) {
    return SendAndWait(code, argument, kernel::Timeout::infinite());
}

kernel::NTSTATUS CUsbAudioAdapter::SubmitUrb(usb::RequestHeader* request) {
    if (kernel::interlockedRead(m_Present) == 0) return kernel::STATUS_UNSUCCESSFUL;
    m_Suspend.BeginBusy();
    const kernel::NTSTATUS status =
        SendAndWait(usb::internal_ioctl::submitRequest, request, RequestTimeout);
    if (status == kernel::STATUS_DEVICE_NOT_CONNECTED) SetDevicePresent(0);
    m_Suspend.EndBusy();
    return status;
}

bool CUsbAudioAdapter::IsDeviceGone() {
    if (kernel::interlockedRead(m_Present) == 0) return true;
    CMutexLockScope lock(m_PowerLock);
    std::uint32_t port = 0;
    kernel::NTSTATUS status = SendPortControl(usb::internal_ioctl::getPortStatus, &port);
    // A question that could not be asked for want of memory says nothing of
    // the device: taking it for gone would fail every request from then on.
    if (status == kernel::STATUS_INSUFFICIENT_RESOURCES) return false;
    if (status == kernel::STATUS_NO_SUCH_DEVICE) {
        kernel::delayExecution(PortRetryDelay);
        port = 0;
        status = SendPortControl(usb::internal_ioctl::getPortStatus, &port);
        if (!kernel::succeeded(status))
            CyclePort();
        else if ((port & usb::port_status::connected) != 0)
            RecoverPort();
        else
            SetDevicePresent(0);
    } else if (!kernel::succeeded(status) || (port & usb::port_status::connected) == 0) {
        SetDevicePresent(0);
    }
    return kernel::interlockedRead(m_Present) == 0;
}

void CUsbAudioAdapter::RecoverPort() {
    SendPortControl(usb::internal_ioctl::resetPort, nullptr);
    if (m_pModelPower == nullptr) return;
    // Through D3 and back, so the model writes its controls to the device again.
    m_pModelPower->PowerChangeState(io::DevicePowerState::D3);
    m_pModelPower->PowerChangeState(io::DevicePowerState::D0);
}

kernel::NTSTATUS CUsbAudioAdapter::CyclePort() {
    if (kernel::interlockedExchange(m_PortCycled, 1) == 0) {
        SendPortControl(usb::internal_ioctl::cyclePort, nullptr);
        SetDevicePresent(0);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::ResetPort() {
    return SendPortControl(usb::internal_ioctl::resetPort, nullptr);
}

kernel::NTSTATUS CUsbAudioAdapter::QueryBusInterface() {
    io::Irp* irp = AllocateIrp();
    if (irp == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    io::IoStackLocation* location = io::nextStackLocation(irp);
    location->majorFunction = io::major::Pnp;
    location->minorFunction = io::minorPnp::QueryInterface;
    location->parameters.queryInterface = {&usb::busInterfaceId, sizeof(usb::BusInterface),
                                           usb::busInterfaceVersion, &m_BusInterface.header,
                                           nullptr};
    irp->ioStatus.status = kernel::STATUS_NOT_SUPPORTED; // as every plug-and-play request starts
    const kernel::NTSTATUS status =
        SendWaited(GetLowerDeviceObject(), irp, kernel::Timeout::infinite());
    io::freeIrp(irp);
    if (!kernel::succeeded(status)) return kernel::STATUS_UNSUCCESSFUL;
    m_bBusInterface = true;
    if (m_BusInterface.isDeviceHighSpeed == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    m_bHighSpeed = m_BusInterface.isDeviceHighSpeed(m_BusInterface.header.context);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::QueryBusTime(std::uint32_t* frame) {
    if (frame == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *frame = 0;
    if (!m_bBusInterface || m_BusInterface.queryBusTime == nullptr)
        return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t current = 0;
    const kernel::NTSTATUS status =
        m_BusInterface.queryBusTime(m_BusInterface.header.context, &current);
    if (kernel::succeeded(status)) *frame = current;
    return status;
}
