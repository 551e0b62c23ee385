#include "driver/usbstream/uac2_stream_engines.h"

#include "driver/engine/audio_hal.h"
#include "driver/engine/clock_item.h"
#include "driver/engine/queried_interface.h"
#include "driver/usbstream/feedback_rate.h"
#include "driver/usbstream/stream_requests.h"
#include "platform/io/irp.h"
#include "platform/kernel/interlocked.h"
#include "platform/usb/audio_requests.h"

#include <algorithm>
#include <cstring>

namespace {

// bControlSize, then up to 32 bits of bmValidAltSettings.
constexpr std::uint32_t ValidSettingsReplyBytes = 5;
// A feedback value: 10.14 in 3 bytes at full speed, 16.16 in 4 at high speed.
constexpr std::uint32_t FullSpeedFeedbackBytes = 3;
constexpr std::uint32_t HighSpeedFeedbackBytes = 4;
// The most packets a feedback transfer has that the parse looks at.
constexpr std::uint32_t TransferSlotsPackets = 1024;
// The maker's request that ends a vendor-specific stream on the device.
constexpr std::uint8_t VendorAbortRequest = 0x10;

} // namespace

bool CUac2StreamEngine::QueryReady(std::uint8_t alternateSetting) {
    if (alternateSetting == 0) return true;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return false;
    std::uint8_t reply[ValidSettingsReplyBytes] = {};
    std::uint32_t transferred = 0;
    const StreamControlRequest request{
        .function = usb::Function::classInterface,
        .in = true,
        .request = usb::uac2::request::cur,
        .value = usb::controlValue(usb::uac2::streaming_control::validAlternateSettings, 0),
        .index = GetInterfaceNumber(),
        .buffer = reply,
        .length = sizeof(reply)};
    if (!kernel::succeeded(SendStreamControl(*usb.Get(), request, &transferred))) return false;
    const std::uint32_t byte = 1u + alternateSetting / 8u;
    if (transferred < 1 || byte >= transferred) return false;
    if (std::uint32_t{reply[0]} * 8u < alternateSetting) return false;
    return (reply[byte] & (1u << (alternateSetting % 8u))) != 0;
}

kernel::NTSTATUS CUac2StreamEngine::PrepareDevice(const UsbStreamClientRecord& record) {
    CHeldInterface<IAudioHal> hal;
    *hal.Out() = QueryAudioHal();
    if (!hal) return kernel::STATUS_UNSUCCESSFUL;
    // The last child of the id, as the HAL's own search has it.
    IAudioNode* clock = nullptr;
    const std::uint32_t count = hal->GetChildCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* child = nullptr;
        if (kernel::succeeded(hal->GetChild(index, &child)) && child->GetId() == m_ulClockId)
            clock = child;
    }
    CQueriedInterface<IClockSource> source(clock, IID_IClockSource);
    if (!source) return kernel::STATUS_UNSUCCESSFUL;
    return source->SetSampleRate(record.Format.Format.nSamplesPerSec);
}

std::uint32_t CUac2RenderStreamEngine::GetMeasuredRate() const {
    return kernel::interlockedRead(m_ulMeasuredRate);
}

kernel::NTSTATUS CUac2RenderStreamEngine::PrepareFormat(UsbStreamClientRecord* record,
                                                        std::uint32_t* frameValue) {
    const kernel::NTSTATUS status = PrepareStream(record, frameValue);
    if (kernel::succeeded(status))
        kernel::interlockedExchange(m_ulMeasuredRate, record->Format.Format.nSamplesPerSec);
    return status;
}

std::uint32_t CUac2RenderStreamEngine::FeedbackPacketBytes(IUsbDevice& usb) const {
    return usb.IsHighSpeed() ? HighSpeedFeedbackBytes : FullSpeedFeedbackBytes;
}

kernel::NTSTATUS CUac2RenderStreamEngine::CreateExtraContexts(IUsbDevice& usb) {
    m_ulFeedbackPacketBytes = FeedbackPacketBytes(usb);
    return m_Feedback.Create(usb, this, m_ulMsPerTransfer,
                             std::size_t{m_ulMsPerTransfer} * m_ulFeedbackPacketBytes);
}

kernel::NTSTATUS CUac2RenderStreamEngine::BuildTransfer() {
    if (SelectedPipeCount() == 2) {
        CHeldInterface<IUsbDevice> usb;
        *usb.Out() = QueryUsbDevice();
        if (!usb) return kernel::STATUS_UNSUCCESSFUL;
        const kernel::NTSTATUS feedback = SubmitFeedback(*usb.Get());
        if (feedback == kernel::STATUS_DEVICE_NOT_CONNECTED ||
            feedback == kernel::STATUS_NO_SUCH_DEVICE)
            return feedback;
    }
    return BuildRenderTransfer(GetMeasuredRate());
}

kernel::NTSTATUS CUac2RenderStreamEngine::SubmitFeedback(IUsbDevice& usb) {
    if (IsDeviceGoneFlagged()) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    if (!IsRunning()) return kernel::STATUS_UNSUCCESSFUL;
    TransferContext* context = m_Feedback.Take();
    if (context == nullptr) return kernel::STATUS_BUFFER_TOO_SMALL;
    usb::IsochronousTransfer* urb = context->Urb;
    std::memset(urb, 0, m_Feedback.RecordBytes());
    urb->header.length = m_Feedback.RecordBytes();
    urb->header.function = usb::Function::isochronousTransfer;
    urb->transfer.pipeHandle = PipeAt(m_ulFeedbackPipe);
    urb->transfer.transferFlags = usb::transfer_flags::directionIn |
                                  usb::transfer_flags::shortTransferOk |
                                  usb::transfer_flags::startIsoAsap;
    urb->transfer.transferBuffer = context->Buffer;
    for (std::uint32_t i = 0; i < m_ulMsPerTransfer; ++i)
        urb->packets()[i] = {i * m_ulFeedbackPacketBytes, 0, {}};
    urb->numberOfPackets = m_ulMsPerTransfer;
    urb->transfer.transferBufferLength = m_ulMsPerTransfer * m_ulFeedbackPacketBytes;
    context->Bytes = urb->transfer.transferBufferLength;
    return SendTransfer(usb, context, &CUac2RenderStreamEngine::FeedbackCompletion);
}

kernel::NTSTATUS CUac2RenderStreamEngine::FeedbackCompletion(io::DeviceObject*, io::Irp* irp,
                                                             void* context) {
    auto* transfer = static_cast<TransferContext*>(context);
    static_cast<CUac2RenderStreamEngine*>(transfer->Engine)->CompleteFeedback(irp, transfer);
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

void CUac2RenderStreamEngine::CompleteFeedback(io::Irp* irp, TransferContext* context) {
    if (IsRunning() && irp->ioStatus.status != kernel::STATUS_CANCELLED) {
        if (TransferFailed(irp, context->Urb)) {
            RequestRecovery();
        } else {
            std::uint32_t lengths[TransferSlotsPackets] = {};
            const std::uint32_t packets =
                std::min<std::uint32_t>(context->Urb->numberOfPackets, TransferSlotsPackets);
            for (std::uint32_t i = 0; i < packets; ++i)
                lengths[i] = context->Urb->packets()[i].length;
            std::uint32_t measured = 0;
            const FeedbackShape shape{m_ulFeedbackPacketBytes, m_ulPacketsPerMs,
                                      m_UsbFormat.Format.nSamplesPerSec, m_ulMsPerTransfer};
            if (MeasureFeedbackRate(shape, {context->Buffer, context->Bytes}, {lengths, packets},
                                    &measured))
                kernel::interlockedExchange(m_ulMeasuredRate, measured);
        }
    }
    m_Feedback.Return(context);
    TransferDone();
}

kernel::NTSTATUS CUac2RenderStreamEngine::Recover() {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    WaitForIdle();
    kernel::interlockedExchange(m_lWorkFlag, work_flag::idle);
    // The worker asked the device before taking the engine lock.
    if (IsDeviceGoneFlagged()) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    kernel::NTSTATUS status =
        SendPipeRequest(*usb.Get(), usb::Function::syncResetPipeAndClearStall, DataPipe());
    if (kernel::succeeded(status) && SelectedPipeCount() == 2)
        status = SendPipeRequest(*usb.Get(), usb::Function::syncResetPipeAndClearStall,
                                 PipeAt(m_ulFeedbackPipe));
    std::uint32_t frame = 0;
    usb->QueryBusTime(&frame);
    m_ulNextStartFrame = frame + RestartFrameLead;
    if (!kernel::succeeded(status)) return status;
    for (std::uint32_t i = 0; i < RecoveryTransfers; ++i) {
        status = BuildTransfer();
        if (status == kernel::STATUS_BUFFER_TOO_SMALL) return kernel::STATUS_SUCCESS;
        if (!kernel::succeeded(status)) return status;
    }
    return status;
}

kernel::NTSTATUS CUac2RenderStreamEngine::AbortPipe() {
    if (m_pOpenClient == nullptr ||
        !IsEqualId(m_pOpenClient->Format.SubFormat, MakerVendorSubFormat))
        return kernel::STATUS_SUCCESS;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    return SendStreamControl(*usb.Get(), {.function = usb::Function::vendorInterface,
                                          .in = false,
                                          .request = VendorAbortRequest,
                                          .value = 0,
                                          .index = GetInterfaceNumber(),
                                          .buffer = nullptr,
                                          .length = 0});
}
