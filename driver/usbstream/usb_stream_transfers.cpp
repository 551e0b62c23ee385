// The engine's part shared by both releases: preparing the device for a
// client's format, selecting the interface, and building and completing the
// isochronous transfers of render and capture.
#include "driver/usbstream/usb_stream_engine.h"

#include "driver/effects/float_pass.h"
#include "driver/effects/pcm_planes.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "driver/usbstream/stream_requests.h"
#include "driver/usbstream/streaming_descriptors.h"
#include "platform/io/irp.h"
#include "platform/kernel/interlocked.h"
#include "platform/usb/audio_requests.h"

#include <algorithm>
#include <cstring>

namespace {

// A capture stream keeps at least this many milliseconds in flight.
constexpr std::uint32_t MinimumCaptureMilliseconds = 10;
// The capture ring holds 40 ms: a 25th of a second.
constexpr std::uint32_t RingDivisor = 25;
// Frames a packet may carry beyond the nominal ones when the endpoint's
// size is unknown.
constexpr std::uint32_t CaptureFrameMargin = 6;
constexpr std::uint32_t SampleRateBytes = 3;
constexpr kernel::PoolTag SelectTag = kernel::poolTag("USBS");

std::uint32_t RoundUp(std::uint32_t value, std::uint32_t step) {
    return step == 0 ? value : (value + step - 1) / step * step;
}

} // namespace

const usb::InterfaceInformation* CUsbStreamEngine::SelectedInterface() const {
    if (!m_Selected) return nullptr;
    return &m_Selected.as<usb::SelectInterfaceRequest>()->interface;
}

std::uint32_t CUsbStreamEngine::SelectedPipeCount() const {
    const usb::InterfaceInformation* selected = SelectedInterface();
    return selected != nullptr ? selected->numberOfPipes : 0;
}

usb::PipeHandle CUsbStreamEngine::PipeAt(std::uint32_t index) const {
    const usb::InterfaceInformation* selected = SelectedInterface();
    if (selected == nullptr || index >= selected->numberOfPipes) return nullptr;
    return selected->pipes()[index].pipeHandle;
}

void CUsbStreamEngine::UpdateActiveStream(IUsbDevice& usb, bool active) {
    // The adapter counts streaming interfaces: one count per engine, however
    // often setting 0 is selected again.
    if (active == (m_bActiveStream != 0)) return;
    m_bActiveStream = active ? 1 : 0;
    if (active)
        usb.AddActiveStream();
    else
        usb.ReleaseActiveStream();
}

kernel::NTSTATUS CUsbStreamEngine::SelectInterface(std::uint8_t alternateSetting,
                                                   UsbStreamClientRecord* record) {
    if (alternateSetting != 0 && record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    m_Selected = usb::RequestBlock();
    const usb::ConfigurationView view = ViewConfiguration(*usb.Get());
    const usb::InterfaceDescriptor* setting =
        FindStreamingSetting(view, GetInterfaceNumber(), alternateSetting);
    if (setting == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    usb::RequestBlock request;
    kernel::NTSTATUS status =
        usb::buildSelectInterface(view, usb->GetConfigurationHandle(), setting, SelectTag, request);
    if (kernel::succeeded(status)) status = usb->SubmitUrb(request.header());
    if (!kernel::succeeded(status)) return status;
    m_Selected = std::move(request);
    const usb::InterfaceInformation* selected = SelectedInterface();
    const bool wantIn = IsCapture();
    for (std::uint32_t i = 0; i < selected->numberOfPipes; ++i) {
        const bool in = usb::endpoint::isIn(selected->pipes()[i].endpointAddress);
        if (in == wantIn) m_ulDataPipe = i;
        if (in) m_ulFeedbackPipe = i;
    }
    if (record != nullptr && SetsEndpointRate() && selected->numberOfPipes != 0) {
        std::uint8_t rate[SampleRateBytes];
        for (std::uint32_t i = 0; i < SampleRateBytes; ++i)
            rate[i] = static_cast<std::uint8_t>(record->Format.Format.nSamplesPerSec >> (8 * i));
        // Best effort: a device that refuses the rate still streams.
        SendStreamControl(*usb.Get(), {.function = usb::Function::classEndpoint,
                                       .in = false,
                                       .request = usb::uac1::request::setCur,
                                       .value = usb::controlValue(
                                           usb::uac1::endpoint_control::samplingFrequency, 0),
                                       .index = selected->pipes()[m_ulDataPipe].endpointAddress,
                                       .buffer = rate,
                                       .length = sizeof(rate)});
    }
    UpdateActiveStream(*usb.Get(), alternateSetting != 0);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbStreamEngine::AbortPipe() {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb || SelectedInterface() == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return SendPipeRequest(*usb.Get(), usb::Function::abortPipe, DataPipe());
}

kernel::NTSTATUS CUsbStreamEngine::PrepareStream(UsbStreamClientRecord* record,
                                                 std::uint32_t* frameValue) {
    if (record == nullptr || frameValue == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    ks::WaveFormatExtensible checked = record->Format;
    kernel::NTSTATUS status = CheckFormat(&checked.Format);
    std::uint8_t setting = 0;
    if (kernel::succeeded(status)) status = FindFormat(&record->Format.Format, &setting);
    if (!kernel::succeeded(status)) return status;
    const ks::WaveFormatEx& format = record->Format.Format;
    if (record->ValueA == 0 || format.nBlockAlign == 0 || format.nSamplesPerSec == 0)
        return kernel::STATUS_INVALID_PARAMETER;

    m_ulMsPerTransfer = record->ValueA;
    m_ulTransfersInFlight = record->ValueB;
    if (IsCapture() && m_ulMsPerTransfer * m_ulTransfersInFlight < MinimumCaptureMilliseconds) {
        m_ulTransfersInFlight =
            (MinimumCaptureMilliseconds + m_ulMsPerTransfer - 1) / m_ulMsPerTransfer;
        record->ValueB = m_ulTransfersInFlight;
    }
    const std::uint32_t ringBytes =
        RoundUp(format.nAvgBytesPerSec / RingDivisor, format.nBlockAlign);
    m_ulPacketsPerMs = GetPacketsPerMillisecond(setting);
    const std::uint32_t packetsPerSecond = m_ulPacketsPerMs * 1000;
    const std::uint32_t packets = m_ulMsPerTransfer * m_ulPacketsPerMs;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    std::size_t bufferBytes = 0;
    if (!IsCapture()) {
        m_ulSampleRate = format.nSamplesPerSec;
        m_Sizer.Reset(format.nSamplesPerSec / packetsPerSecond, packetsPerSecond);
        kernel::interlockedExchange(m_lExtraFrames, 0);
        m_ulFramesPerPacket = m_Sizer.WholeFrames();
        bufferBytes = std::size_t{format.nBlockAlign} *
                      (format.nSamplesPerSec / 1000 / m_ulPacketsPerMs + 1) * packets;
    } else {
        m_ulFramesPerPacket = format.nSamplesPerSec / packetsPerSecond + CaptureFrameMargin;
        const usb::ConfigurationView view = ViewConfiguration(*usb.Get());
        const usb::EndpointDescriptor* endpoint =
            FindDataEndpoint(view, FindStreamingSetting(view, GetInterfaceNumber(), setting));
        if (endpoint != nullptr) {
            const std::uint16_t size = static_cast<std::uint16_t>(endpoint->wMaxPacketSize.value());
            m_ulFramesPerPacket =
                (usb->IsHighSpeed() ? HighSpeedPacketBytes(size) : size & 0x7FFu) /
                format.nBlockAlign;
        }
        bufferBytes = std::size_t{format.nBlockAlign} * packets * m_ulFramesPerPacket;
    }

    if (kernel::interlockedCompareExchange(m_lState,
                                           static_cast<std::int32_t>(UsbStreamState::prepared),
                                           static_cast<std::int32_t>(UsbStreamState::closed)) !=
        static_cast<std::int32_t>(UsbStreamState::closed))
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    SetCurrentWaveFormat(record->Format);
    AllocatePacketBuffers(); // only the limiter and the chains need them
    status = m_Contexts.Create(*usb.Get(), this, packets, bufferBytes);
    if (kernel::succeeded(status)) status = CreateExtraContexts(*usb.Get());
    if (kernel::succeeded(status)) {
        m_CaptureRing = CPoolBuffer(kernel::PoolType::NonPagedNx, ringBytes, CaptureRingTag());
        m_ulRingBytes = m_CaptureRing.IsValid() ? ringBytes : 0;
        if (!m_CaptureRing.IsValid()) status = kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    if (kernel::succeeded(status)) status = PrepareDevice(*record);
    if (kernel::succeeded(status)) status = SelectInterface(setting, record);
    if (!kernel::succeeded(status)) {
        ReleaseStream();
        SetState(UsbStreamState::closed);
        return status;
    }
    {
        kernel::SpinLockGuard capture(m_CaptureLock);
        m_ulWritePosition = 0;
        m_ulReadPosition = 0;
    }
    kernel::interlockedExchange(m_lPending, 0);
    m_IdleEvent.set();
    *frameValue = 0;
    usb->QueryBusTime(frameValue);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbStreamEngine::TransferCompletion(io::DeviceObject* device, io::Irp* irp,
                                                      void* context) {
    return static_cast<TransferContext*>(context)->Engine->OnTransferComplete(device, irp, context);
}

kernel::NTSTATUS CUsbStreamEngine::SendTransfer(IUsbDevice& usb, TransferContext* context,
                                                io::CompletionRoutine completion) {
    io::reuseIrp(context->Irp, kernel::STATUS_NOT_SUPPORTED);
    io::IoStackLocation* location = io::nextStackLocation(context->Irp);
    location->majorFunction = io::major::InternalDeviceControl;
    location->parameters.deviceIoControl.ioControlCode = usb::internal_ioctl::submitRequest;
    location->parameters.others.argument1 = context->Urb;
    io::setCompletionRoutine(context->Irp, completion, context, true, true, true);
    if (kernel::interlockedIncrement(m_lPending) == 1) m_IdleEvent.reset();
    usb.SendIrp(context->Irp);
    return kernel::STATUS_SUCCESS;
}

namespace {

// The record of an isochronous transfer on the pipe, without packets yet.
void StartRecord(usb::IsochronousTransfer* urb, std::uint16_t recordBytes, usb::PipeHandle pipe,
                 std::uint32_t flags, void* buffer) {
    std::memset(urb, 0, recordBytes);
    urb->header.length = recordBytes;
    urb->header.function = usb::Function::isochronousTransfer;
    urb->transfer.pipeHandle = pipe;
    urb->transfer.transferFlags = flags;
    urb->transfer.transferBuffer = buffer;
}

} // namespace

kernel::NTSTATUS CUsbStreamEngine::BuildRenderTransfer(std::uint32_t rate) {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    kernel::SpinLockGuard lock(m_TransferLock);
    if (!usb || IsDeviceGoneFlagged() || !IsRunning()) return kernel::STATUS_UNSUCCESSFUL;
    TransferContext* context = m_Contexts.Take();
    if (context == nullptr) return kernel::STATUS_BUFFER_TOO_SMALL;
    const std::uint32_t packets = m_ulMsPerTransfer * m_ulPacketsPerMs;
    const std::uint32_t frameBytes = m_UsbFormat.Format.nBlockAlign;
    usb::IsochronousTransfer* urb = context->Urb;
    StartRecord(urb, m_Contexts.RecordBytes(), DataPipe(),
                m_bExplicitStartFrame ? 0 : usb::transfer_flags::startIsoAsap, context->Buffer);
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < packets; ++i) {
        std::int32_t extra = 0;
        const std::uint32_t frames = m_Sizer.NextFrames(rate, &extra);
        kernel::interlockedExchangeAdd(m_lExtraFrames, extra);
        // Never past the buffer, whatever rate feedback reports.
        const std::uint32_t length = std::min<std::uint32_t>(
            frames * frameBytes, static_cast<std::uint32_t>(m_Contexts.BufferBytes()) - offset);
        urb->packets()[i] = {offset, length, {}};
        offset += length;
    }
    urb->numberOfPackets = packets;
    urb->transfer.transferBufferLength = offset;
    std::memset(context->Buffer, 0, offset);
    SendMessage(stream_message::fillPacket, reinterpret_cast<std::uintptr_t>(context->Buffer),
                offset);
    ProcessAllChains(context->Buffer, offset);
    LimitRenderPacket(context->Buffer, offset);
    offset = ShapeRenderTransfer(context->Buffer, urb, offset);
    urb->transfer.transferBufferLength = offset;
    context->Bytes = offset;
    if (m_bExplicitStartFrame) {
        urb->startFrame = m_ulNextStartFrame;
        m_ulNextStartFrame += m_ulMsPerTransfer;
    }
    return SendTransfer(*usb.Get(), context, &CUsbStreamEngine::TransferCompletion);
}

void CUsbStreamEngine::LimitRenderPacket(std::uint8_t* buffer, std::uint32_t bytes) {
    const ks::WaveFormatEx& format = m_UsbFormat.Format;
    if (m_pLimiter == nullptr || ks::effectiveFormatTag(m_UsbFormat) != ks::format_tag::pcm ||
        !IsPlaneConvertibleWidth(format.wBitsPerSample) || format.nChannels == 0 ||
        format.nChannels > MaxDspChannels ||
        format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8)
        return;
    CFloatPass pass;
    if (!pass.Active()) return;
    kernel::SpinLockGuard lock(GetSpinLock());
    if (GetFloatBuffer() == nullptr) return;
    const std::uint32_t frames = bytes / format.nBlockAlign;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t block = std::min(frames - done, MaxDspBlockFrames);
        std::uint8_t* position = buffer + std::size_t{done} * format.nBlockAlign;
        PcmToFloatPlanes(position, GetPlanes(), GetFloatBuffer(), block, m_UsbFormat);
        m_pLimiter->Process(GetPlanes(), static_cast<int>(block));
        FloatPlanesToPcm(position, GetPlanes(), GetFloatBuffer(), block, m_UsbFormat);
        done += block;
    }
}

kernel::NTSTATUS CUsbStreamEngine::BuildCaptureTransfer() {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    kernel::SpinLockGuard lock(m_TransferLock);
    if (!usb || IsDeviceGoneFlagged() || !IsRunning()) return kernel::STATUS_UNSUCCESSFUL;
    TransferContext* context = m_Contexts.Take();
    if (context == nullptr) return kernel::STATUS_BUFFER_TOO_SMALL;
    const std::uint32_t packets = m_ulMsPerTransfer * m_ulPacketsPerMs;
    const std::uint32_t slot = m_UsbFormat.Format.nBlockAlign * m_ulFramesPerPacket;
    usb::IsochronousTransfer* urb = context->Urb;
    StartRecord(urb, m_Contexts.RecordBytes(), DataPipe(),
                usb::transfer_flags::directionIn | usb::transfer_flags::shortTransferOk |
                    (m_bExplicitStartFrame ? 0 : usb::transfer_flags::startIsoAsap),
                context->Buffer);
    for (std::uint32_t i = 0; i < packets; ++i) urb->packets()[i] = {i * slot, 0, {}};
    urb->numberOfPackets = packets;
    urb->transfer.transferBufferLength = packets * slot;
    context->Bytes = packets * slot;
    if (m_bExplicitStartFrame) {
        urb->startFrame = m_ulNextStartFrame;
        m_ulNextStartFrame += m_ulMsPerTransfer;
    }
    return SendTransfer(*usb.Get(), context, &CUsbStreamEngine::TransferCompletion);
}

bool CUsbStreamEngine::TransferFailed(io::Irp* irp, usb::IsochronousTransfer* urb) {
    if (!kernel::succeeded(irp->ioStatus.status)) return true;
    if (!usb::succeeded(urb->header.status)) return true;
    for (std::uint32_t i = 0; i < urb->numberOfPackets; ++i) {
        if (usb::succeeded(urb->packets()[i].status)) continue;
        urb->header.status = urb->packets()[i].status;
        return true;
    }
    return false;
}

void CUsbStreamEngine::NoteDeviceGone(kernel::NTSTATUS status, std::uint8_t* flag) {
    if (status == kernel::STATUS_DEVICE_NOT_CONNECTED || status == kernel::STATUS_NO_SUCH_DEVICE)
        std::atomic_ref<std::uint8_t>(*flag).store(1);
}

kernel::NTSTATUS CUsbStreamEngine::CompleteRender(io::Irp* irp, TransferContext* context) {
    const kernel::NTSTATUS status = irp->ioStatus.status;
    const bool live = IsRunning() && status != kernel::STATUS_CANCELLED;
    if (live) NoteDeviceGone(status, &m_bDeviceGone);
    SendMessage(stream_message::transferDone, ClientBytesOf(context->Bytes), 0);
    return FinishTransfer(irp, context, live);
}

kernel::NTSTATUS CUsbStreamEngine::CompleteCapture(io::Irp* irp, TransferContext* context,
                                                   bool exactBytes) {
    const kernel::NTSTATUS status = irp->ioStatus.status;
    if (kernel::succeeded(status)) CopyCaptureOut(context, exactBytes);
    const bool live = IsRunning() && status != kernel::STATUS_CANCELLED;
    if (live) NoteDeviceGone(status, &m_bDeviceGone);
    return FinishTransfer(irp, context, live);
}

kernel::NTSTATUS CUsbStreamEngine::FinishTransfer(io::Irp* irp, TransferContext* context,
                                                  bool live) {
    const bool failed = live && TransferFailed(irp, context->Urb);
    m_Contexts.Return(context);
    if (failed) {
        RequestRecovery();
    } else if (live && kernel::interlockedCompareExchange(m_lWorkFlag, work_flag::moreTransfers,
                                                          work_flag::idle) == work_flag::idle) {
        // A running stream keeps its transfers in flight without the worker.
        BuildTransfer();
        kernel::interlockedCompareExchange(m_lWorkFlag, work_flag::idle, work_flag::moreTransfers);
    }
    TransferDone();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

void CUsbStreamEngine::CopyCaptureOut(TransferContext* context, bool exactBytes) {
    kernel::SpinLockGuard lock(m_CaptureLock);
    std::uint8_t* ring = m_CaptureRing.Get<std::uint8_t>();
    if (ring == nullptr || m_ulRingBytes == 0) return;
    const ks::WaveFormatEx& format = m_UsbFormat.Format;
    const std::uint32_t slot = format.nBlockAlign * m_ulFramesPerPacket;
    const std::uint32_t silence = std::min(
        slot, format.nBlockAlign *
                  (format.nSamplesPerSec / (exactBytes ? m_ulPacketsPerMs : 1) / 1000 + 1));
    const std::uint32_t start = m_ulWritePosition;
    std::uint64_t sum = 0;
    usb::IsochronousTransfer* urb = context->Urb;
    for (std::uint32_t i = 0; i < urb->numberOfPackets; ++i) {
        usb::IsoPacket& packet = urb->packets()[i];
        if (packet.offset >= context->Bytes) continue;
        std::uint8_t* data = context->Buffer + packet.offset;
        // A packet never reaches into the next one's slot.
        std::uint32_t length =
            std::min(packet.length, std::min(slot, context->Bytes - packet.offset));
        if (length == 0 && usb::succeeded(packet.status)) {
            // The device sent nothing this time: silence keeps positions moving.
            length = silence;
            std::memset(data, 0, length);
        }
        for (std::uint32_t copied = 0; copied < length;) {
            const std::uint32_t piece =
                std::min(length - copied, m_ulRingBytes - m_ulWritePosition);
            std::memcpy(ring + m_ulWritePosition, data + copied, piece);
            m_ulWritePosition = (m_ulWritePosition + piece) % m_ulRingBytes;
            copied += piece;
        }
        sum += length;
    }
    std::uint32_t available = 0;
    std::uint32_t from = 0;
    if (exactBytes) {
        available = static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, m_ulRingBytes));
        from = start;
    } else {
        available = (m_ulWritePosition + m_ulRingBytes - m_ulReadPosition) % m_ulRingBytes;
        available -= available % format.nBlockAlign;
        from = m_ulReadPosition;
    }
    if (available == 0) return;
    for (std::uint32_t delivered = 0; delivered < available;) {
        const std::uint32_t at = (from + delivered) % m_ulRingBytes;
        const std::uint32_t piece = std::min(available - delivered, m_ulRingBytes - at);
        ProcessAllChains(ring + at, piece);
        SendMessage(stream_message::packetArrived, reinterpret_cast<std::uintptr_t>(ring + at),
                    piece);
        delivered += piece;
    }
    SendMessage(stream_message::transferDone, available, 0);
    if (!exactBytes) m_ulReadPosition = (m_ulReadPosition + available) % m_ulRingBytes;
}
