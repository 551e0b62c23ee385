// The engine's stream states, its worker thread and error recovery.
#include "driver/usbstream/usb_stream_engine.h"

#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/interlocked.h"
#include "platform/portcls/content_forwarding.h"

#include <cstring>

UsbStreamState CUsbStreamEngine::GetStreamState() const {
    return static_cast<UsbStreamState>(kernel::interlockedRead(m_lState));
}

void CUsbStreamEngine::SetState(UsbStreamState state) { ExchangeState(state); }

UsbStreamState CUsbStreamEngine::ExchangeState(UsbStreamState state) {
    return static_cast<UsbStreamState>(
        kernel::interlockedExchange(m_lState, static_cast<std::int32_t>(state)));
}

std::int32_t CUsbStreamEngine::GetPendingTransfers() const {
    return kernel::interlockedRead(m_lPending);
}

bool CUsbStreamEngine::IsDeviceGoneFlagged() const {
    return std::atomic_ref<const std::uint8_t>(m_bDeviceGone).load() != 0;
}

void CUsbStreamEngine::SendMessage(std::uintptr_t code, std::uintptr_t argument1,
                                   std::uintptr_t argument2) {
    if (m_pStreamCallback == nullptr) return;
    StreamMessage message{m_pRunningClient, code, argument1, argument2};
    kernel::notifyCallback(*m_pStreamCallback, &message, nullptr);
}

void CUsbStreamEngine::WaitForIdle() {
    kernel::waitForSingleObject(m_IdleEvent, kernel::Timeout::infinite());
}

void CUsbStreamEngine::TransferDone() {
    if (kernel::interlockedDecrement(m_lPending) == 0) m_IdleEvent.set();
}

void CUsbStreamEngine::RequestRecovery() {
    if (kernel::interlockedExchange(m_lWorkFlag, work_flag::error) != work_flag::error)
        m_WorkEvent.set();
}

kernel::NTSTATUS CUsbStreamEngine::SubmitTransfers(std::uint32_t count) {
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    for (std::uint32_t i = 0; i < count; ++i) {
        status = BuildTransfer();
        if (status == kernel::STATUS_BUFFER_TOO_SMALL) return kernel::STATUS_SUCCESS;
        if (!kernel::succeeded(status)) return status;
    }
    return status;
}

kernel::NTSTATUS CUsbStreamEngine::StartStream(std::uint32_t startFrame, bool explicitStartFrame) {
    if (GetStreamState() != UsbStreamState::prepared) return kernel::STATUS_UNSUCCESSFUL;
    UseLimiterFormat();
    kernel::interlockedExchange(m_lWorkFlag, work_flag::idle);
    m_ulNextStartFrame = startFrame;
    m_bExplicitStartFrame = explicitStartFrame ? 1 : 0;
    m_WorkEvent.reset();
    const UsbStreamState previous = ExchangeState(UsbStreamState::running);
    kernel::NTSTATUS status = SetChainAFormat(&m_UsbFormat);
    if (kernel::succeeded(status)) status = SubmitTransfers(m_ulTransfersInFlight);
    if (!kernel::succeeded(status)) {
        SetState(previous);
        WaitForIdle();
    }
    return status;
}

kernel::NTSTATUS CUsbStreamEngine::StopStream() {
    if (GetStreamState() != UsbStreamState::running) return kernel::STATUS_UNSUCCESSFUL;
    SetState(UsbStreamState::prepared);
    WaitForIdle();
    FlushChainA();
    return kernel::STATUS_SUCCESS;
}

void CUsbStreamEngine::UseLimiterFormat() {
    if (m_pLimiter == nullptr) return;
    const bool discard = kernel::interlockedExchange(m_lDiscardHeldFrames, 0) != 0;
    if (!discard && m_bLimiterFormatSet &&
        std::memcmp(&m_LimiterFormat, &m_UsbFormat, sizeof(m_UsbFormat)) == 0)
        return;
    m_pLimiter->SetFormat(&m_UsbFormat);
    m_LimiterFormat = m_UsbFormat;
    m_bLimiterFormatSet = true;
}

void CUsbStreamEngine::DiscardHeldFrames() { kernel::interlockedExchange(m_lDiscardHeldFrames, 1); }

kernel::NTSTATUS CUsbStreamEngine::Teardown() {
    if (GetStreamState() != UsbStreamState::prepared) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = SelectZeroBandwidth();
    FreeTransferContexts();
    SetState(UsbStreamState::closed);
    ReleaseStream();
    if (IsDeviceGoneFlagged()) return kernel::STATUS_SUCCESS;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    // A device that has gone cannot take setting 0; that is no failure.
    if (usb && usb->IsDeviceGone()) status = kernel::STATUS_SUCCESS;
    return status;
}

void CUsbStreamEngine::ReleaseStream() {
    FreeExtraContexts();
    m_Contexts.Free();
    m_CaptureRing = CPoolBuffer();
    m_ulRingBytes = 0;
    m_Selected = usb::RequestBlock();
}

void CUsbStreamEngine::FreeTransferContexts() {
    FreeExtraContexts();
    m_Contexts.Free();
}

kernel::NTSTATUS CUsbStreamEngine::OnTransferComplete(io::DeviceObject*, io::Irp* irp,
                                                      void* context) {
    auto* transfer = static_cast<TransferContext*>(context);
    if (IsRunning()) {
        if (TransferFailed(irp, transfer->Urb))
            RequestRecovery();
        else if (kernel::interlockedCompareExchange(m_lWorkFlag, work_flag::moreTransfers,
                                                    work_flag::idle) == work_flag::idle)
            m_WorkEvent.set();
    }
    m_Contexts.Return(transfer);
    TransferDone();
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

void CUsbStreamEngine::WorkerThreadStart(void* context) {
    // Not through the table: the derived classes' destructors rewrite it
    // before the base stops the thread.
    static_cast<CUsbStreamEngine*>(context)->CUsbStreamEngine::WorkerLoop();
}

void CUsbStreamEngine::WorkerLoop() {
    for (;;) {
        kernel::DispatcherObject* const events[] = {&m_WorkEvent, &m_StopEvent};
        if (kernel::waitForAnyObject(events, kernel::Timeout::infinite()) != kernel::STATUS_WAIT_0)
            break;
        if (IsRunning()) HandleWork();
    }
    m_ThreadExitedEvent.set();
}

void CUsbStreamEngine::HandleWork() {
    if (kernel::interlockedCompareExchange(m_lWorkFlag, work_flag::idle,
                                           work_flag::moreTransfers) == work_flag::moreTransfers) {
        CMutexLockScope lock(m_Lock);
        while (IsRunning() && kernel::succeeded(BuildTransfer())) {
        }
        return;
    }
    if (kernel::interlockedRead(m_lWorkFlag) != work_flag::error) return;
    kernel::debugPrint("Error_ErrorOccur, m_StreamState = %d\n",
                       static_cast<int>(GetStreamState()));
    // The adapter answers under its power lock, which a power change holds
    // while it stops streams under the engine lock: ask before taking it.
    WaitForIdle();
    {
        CHeldInterface<IUsbDevice> usb;
        *usb.Out() = QueryUsbDevice();
        std::atomic_ref<std::uint8_t>(m_bDeviceGone).store(!usb || usb->IsDeviceGone() ? 1 : 0);
    }
    CMutexLockScope lock(m_Lock);
    if (!IsRunning()) return;
    const kernel::NTSTATUS status = Recover();
    if (status == kernel::STATUS_DEVICE_NOT_CONNECTED) m_StopEvent.set();
    kernel::debugPrint("Error_ErrorOccur ntStatus = %x\n", static_cast<std::uint32_t>(status));
}

kernel::NTSTATUS CUsbStreamEngine::Recover() {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    WaitForIdle();
    kernel::interlockedExchange(m_lWorkFlag, work_flag::idle);
    // The worker asked the device before taking the engine lock.
    if (IsDeviceGoneFlagged()) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    kernel::delayExecution(RecoveryPause);
    kernel::NTSTATUS status = SelectZeroBandwidth();
    if (!kernel::succeeded(status)) {
        usb->ResetPort();
        return status;
    }
    SendMessage(stream_message::formatApplied,
                m_pRunningClient != nullptr
                    ? m_pRunningClient->ValueA | stream_message::formatChangedBit
                    : stream_message::formatChangedBit,
                m_pRunningClient != nullptr ? m_pRunningClient->ValueB : 0);
    status = RestartStreaming();
    if (!kernel::succeeded(status)) usb->ResetPort();
    return status;
}

kernel::NTSTATUS CUsbStreamEngine::RestartStreaming() {
    if (m_pRunningClient == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    std::uint8_t setting = 0;
    kernel::NTSTATUS status = FindFormat(&m_pRunningClient->Format.Format, &setting);
    if (kernel::succeeded(status)) status = SelectInterface(setting, m_pRunningClient);
    if (!kernel::succeeded(status)) return status;
    {
        kernel::SpinLockGuard capture(m_CaptureLock);
        m_ulWritePosition = 0;
        m_ulReadPosition = 0;
    }
    std::uint32_t frame = 0;
    usb->QueryBusTime(&frame);
    m_ulNextStartFrame = frame + RestartFrameLead;
    kernel::interlockedExchange(m_lWorkFlag, work_flag::idle);
    m_WorkEvent.reset();
    return SubmitTransfers(m_ulTransfersInFlight);
}

kernel::NTSTATUS CUsbStreamEngine::SetContentId(std::uint32_t contentId) {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    usb::PipeHandle pipe = SelectedInterface() != nullptr ? DataPipe() : nullptr;
    const portcls::DrmForward forward{0, usb->GetLowerDevice(),
                                      reinterpret_cast<io::FileObject*>(pipe), pipe};
    return portcls::PcForwardContentToDeviceObject(contentId, nullptr, &forward);
}
