#include "stream_test_adapter.h"

#include "platform/kernel/check.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/interlocked.h"
#include "platform/usb/bus_status.h"

#include <vector>

namespace usbstream_test {

namespace {

constexpr kernel::PoolTag TestSelectTag = kernel::poolTag("TSel");

struct Waiter {
    kernel::Event done{kernel::EventType::Notification, false};
    bool finished = false;
};

kernel::NTSTATUS Completed(io::DeviceObject*, io::Irp*, void* context) {
    auto* waiter = static_cast<Waiter*>(context);
    waiter->finished = true;
    waiter->done.set();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

} // namespace

kernel::NTSTATUS CStreamTestAdapter::Attach(usbsimtest::BusStack* stack) {
    m_pStack = stack;
    m_TestThread = std::this_thread::get_id();
    const usb::ConfigurationView view = stack->view();
    std::vector<const usb::InterfaceDescriptor*> interfaces;
    for (const usb::InterfaceDescriptor* found = view.findInterface({.alternateSetting = 0});
         found != nullptr; found = view.findInterface({.alternateSetting = 0}, found))
        interfaces.push_back(found);
    kernel::NTSTATUS status =
        usb::buildSelectConfiguration(view, interfaces, TestSelectTag, m_Select);
    if (kernel::succeeded(status)) status = SubmitUrb(m_Select.header());
    if (!kernel::succeeded(status)) return status;
    m_ConfigurationHandle = m_Select.as<usb::SelectConfigurationRequest>()->configurationHandle;
    return Init(nullptr, nullptr, nullptr, nullptr);
}

kernel::NTSTATUS CStreamTestAdapter::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                 void** object) {
    return AnswerAfterBase(CAudioHal::NonDelegatingQueryInterface(id, object),
                           static_cast<IUsbDevice*>(this), id, IID_IUsbDevice, object);
}

const usb::ConfigurationDescriptor* CStreamTestAdapter::GetConfigurationDescriptor() {
    return reinterpret_cast<const usb::ConfigurationDescriptor*>(
        m_pStack->function.descriptors().configuration.data());
}

kernel::NTSTATUS CStreamTestAdapter::SendIrp(io::Irp* irp) {
    auto* header =
        static_cast<usb::RequestHeader*>(io::nextStackLocation(irp)->parameters.others.argument1);
    auto* transfer =
        usb::requestAs<usb::IsochronousTransfer>(header, usb::Function::isochronousTransfer);
    if (transfer != nullptr && kernel::interlockedRead(m_BreakTransfers) > 0) {
        kernel::interlockedDecrement(m_BreakTransfers);
        transfer->transfer.pipeHandle = nullptr;
    }
    return io::callDriver(m_pStack->bus.device(), irp);
}

kernel::NTSTATUS CStreamTestAdapter::SendAndWait(std::uint32_t code, void* argument) {
    io::Irp* irp = io::allocateIrp(8);
    if (irp == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    Waiter waiter;
    io::IoStackLocation* location = io::nextStackLocation(irp);
    location->majorFunction = io::major::InternalDeviceControl;
    location->parameters.deviceIoControl.ioControlCode = code;
    location->parameters.others.argument1 = argument;
    io::setCompletionRoutine(irp, Completed, &waiter, true, true, true);
    io::callDriver(m_pStack->bus.device(), irp);
    if (std::this_thread::get_id() == m_TestThread)
        m_pStack->clock.settle();
    else
        kernel::waitForSingleObject(waiter.done, kernel::Timeout::infinite());
    kernel::check(waiter.finished, "a request to the bus did not complete");
    const kernel::NTSTATUS status = irp->ioStatus.status;
    io::freeIrp(irp);
    return status;
}

kernel::NTSTATUS CStreamTestAdapter::SubmitUrb(usb::RequestHeader* request) {
    kernel::interlockedIncrement(m_Submitted);
    return SendAndWait(usb::internal_ioctl::submitRequest, request);
}

kernel::NTSTATUS CStreamTestAdapter::ResetPort() {
    kernel::interlockedIncrement(m_PortResets);
    return SendAndWait(usb::internal_ioctl::resetPort, nullptr);
}

kernel::NTSTATUS CStreamTestAdapter::QueryBusTime(std::uint32_t* frame) {
    if (frame == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *frame = m_pStack->bus.frames().frameNumber();
    return kernel::STATUS_SUCCESS;
}

io::Irp* CStreamTestAdapter::AllocateIrp() { return io::allocateIrp(8); }

kernel::NTSTATUS CStreamTestAdapter::FreeIrp(io::Irp* irp) {
    io::freeIrp(irp);
    return kernel::STATUS_SUCCESS;
}

bool CStreamTestAdapter::IsHighSpeed() { return m_pStack->bus.frames().highSpeed(); }

bool CStreamTestAdapter::IsDeviceGone() {
    const int forced = kernel::interlockedRead(m_GoneOverride);
    if (forced >= 0) return forced != 0;
    return m_Present == 0 || !m_pStack->bus.plugged();
}

io::DeviceObject* CStreamTestAdapter::GetLowerDevice() { return m_pStack->bus.device(); }

std::int32_t CStreamTestAdapter::AddActiveStream() {
    return kernel::interlockedIncrement(m_lActiveStreams);
}

std::int32_t CStreamTestAdapter::ReleaseActiveStream() {
    return kernel::interlockedDecrement(m_lActiveStreams);
}

std::int32_t CStreamTestAdapter::ActiveStreams() const {
    return kernel::interlockedRead(m_lActiveStreams);
}

} // namespace usbstream_test
