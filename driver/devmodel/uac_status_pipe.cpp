#include "driver/devmodel/uac_status_pipe.h"

#include "platform/kernel/object.h"
#include "platform/usb/bus_status.h"
#include "platform/usb/configuration.h"
#include "platform/usb/select_request.h"

#include <cstring>
#include <span>

namespace {

constexpr std::uint8_t AudioClass = 1;
constexpr std::uint8_t ControlSubclass = 1;

bool IsInPipe(const usb::PipeInformation& pipe, usb::endpoint::TransferType type) {
    return (pipe.endpointAddress & 0x80) != 0 && pipe.pipeType == type;
}

} // namespace

IUsbDevice* UsbFaceOf(kernel::IUnknown* outer) {
    void* face = nullptr;
    if (outer == nullptr || !kernel::succeeded(outer->QueryInterface(IID_IUsbDevice, &face)))
        return nullptr;
    auto* usb = static_cast<IUsbDevice*>(face);
    usb->Release();
    return usb;
}

kernel::NTSTATUS AbortPipe(IUsbDevice& usb, usb::PipeHandle pipe) {
    usb::PipeRequest abort{};
    abort.header.length = sizeof(abort);
    abort.header.function = usb::Function::abortPipe;
    abort.pipeHandle = pipe;
    return usb.SubmitUrb(&abort.header);
}

kernel::NTSTATUS CStatusPipe::Select(IUsbDevice& usb, std::uint8_t controlInterface,
                                     const StatusPipeRules& rules, bool* found) {
    *found = false;
    const usb::ConfigurationDescriptor* configuration = usb.GetConfigurationDescriptor();
    if (configuration == nullptr) return kernel::STATUS_SUCCESS;
    const usb::ConfigurationView view(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(configuration), configuration->wTotalLength.value()));
    const usb::InterfaceDescriptor* interface = view.findInterface({.number = controlInterface,
                                                                    .alternateSetting = 0,
                                                                    .interfaceClass = AudioClass,
                                                                    .subclass = ControlSubclass});
    if (interface == nullptr || interface->bNumEndpoints == 0) return kernel::STATUS_SUCCESS;
    usb::RequestBlock request;
    if (!kernel::succeeded(usb::buildSelectInterface(view, usb.GetConfigurationHandle(), interface,
                                                     SelectRequestTag, request)))
        return kernel::STATUS_SUCCESS;
    const kernel::NTSTATUS status = usb.SubmitUrb(request.header());
    if (!kernel::succeeded(status)) return status;

    const usb::InterfaceInformation& answer = request.as<usb::SelectInterfaceRequest>()->interface;
    CPoolBuffer copy(kernel::PoolType::NonPagedNx, answer.length, SelectRequestTag);
    if (!copy.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(copy.Get(), &answer, answer.length);
    const auto* information = copy.Get<const usb::InterfaceInformation>();
    std::uint8_t index = 0;
    for (const usb::PipeInformation& pipe : information->pipes()) {
        if (m_StatusPipe == NoPipe && IsInPipe(pipe, usb::endpoint::TransferType::interrupt) &&
            pipe.maximumPacketSize == rules.statusPacketSize)
            m_StatusPipe = index;
        else if (rules.secondBulkPipe && IsInPipe(pipe, usb::endpoint::TransferType::bulk)) {
            if (m_SecondPipe != NoPipe) break;
            m_SecondPipe = index;
        }
        ++index;
    }
    if (m_StatusPipe == NoPipe) {
        m_SecondPipe = NoPipe;
        return kernel::STATUS_SUCCESS;
    }
    m_Information = std::move(copy);
    *found = true;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStatusPipe::StartThread(kernel::ThreadStart start, void* context, int priority) {
    const kernel::NTSTATUS status = m_Thread.Start(start, context, priority);
    if (!kernel::succeeded(status)) Forget();
    return status;
}

void CStatusPipe::StopThread() {
    if (!m_Thread.Running()) return;
    m_Thread.Stop();
    Forget();
}

void CStatusPipe::Forget() {
    m_Information = CPoolBuffer();
    m_StatusPipe = NoPipe;
    m_SecondPipe = NoPipe;
}

usb::PipeHandle CStatusPipe::PipeAt(std::uint8_t index) const {
    if (index == NoPipe || !m_Information.IsValid()) return nullptr;
    const auto* information = m_Information.Get<const usb::InterfaceInformation>();
    return index < information->numberOfPipes ? information->pipes()[index].pipeHandle : nullptr;
}

CPipeReader::CPipeReader(IUsbDevice& usb, usb::PipeHandle pipe, void* buffer, std::uint32_t length)
    : m_Usb(usb), m_pBuffer(buffer), m_ulLength(length), m_Pipe(pipe), m_pIrp(usb.AllocateIrp()) {}

CPipeReader::~CPipeReader() {
    if (m_pIrp != nullptr) m_Usb.FreeIrp(m_pIrp);
}

kernel::NTSTATUS CPipeReader::Submit() {
    m_Request = {};
    m_Request.header.length = sizeof(m_Request);
    m_Request.header.function = usb::Function::bulkOrInterruptTransfer;
    m_Request.transfer.pipeHandle = m_Pipe;
    m_Request.transfer.transferFlags =
        usb::transfer_flags::directionIn | usb::transfer_flags::shortTransferOk;
    m_Request.transfer.transferBuffer = m_pBuffer;
    m_Request.transfer.transferBufferLength = m_ulLength;
    io::reuseIrp(m_pIrp, kernel::STATUS_NOT_SUPPORTED);
    io::IoStackLocation* location = io::nextStackLocation(m_pIrp);
    location->majorFunction = io::major::InternalDeviceControl;
    location->parameters.deviceIoControl.ioControlCode = usb::internal_ioctl::submitRequest;
    location->parameters.others.argument1 = &m_Request;
    io::setCompletionRoutine(m_pIrp, OnComplete, this, true, true, true);
    m_Completed.clear();
    return m_Usb.SendIrp(m_pIrp);
}

bool CPipeReader::Succeeded() const { return kernel::succeeded(m_pIrp->ioStatus.status); }

void CPipeReader::WaitIdle() {
    kernel::waitForSingleObject(m_Completed, kernel::Timeout::infinite());
}

// The request stays the reader's: it is sent again or given back.
kernel::NTSTATUS CPipeReader::OnComplete(io::DeviceObject*, io::Irp*, void* context) {
    static_cast<CPipeReader*>(context)->m_Completed.set();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}
