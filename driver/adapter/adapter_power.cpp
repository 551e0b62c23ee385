// The adapter's power changes and the wake that every request to the device
// starts with. Locks are taken in one order everywhere: the ASIO interface's,
// then the power lock, then a stream engine's.
#include "driver/adapter/usb_audio_adapter.h"

#include "platform/io/irp.h"
#include "platform/kernel/clock.h"

#include <utility>

kernel::NTSTATUS CUsbAudioAdapter::WakeDevice() {
    m_Suspend.Wake();
    return kernel::STATUS_SUCCESS;
}

void CUsbAudioAdapter::PowerChangeState(io::DevicePowerState newState) {
    if (newState < io::DevicePowerState::D0 || newState > io::DevicePowerState::D3) return;
    if (newState == m_Suspend.GetPowerState()) return;
    if (m_pAsio != nullptr) {
        CMutexLockScope asio(m_pAsio->GetAsioLock());
        ChangePowerState(newState);
    } else {
        ChangePowerState(newState);
    }
    if (newState == io::DevicePowerState::D0) FinishParkedAsioStop();
}

void CUsbAudioAdapter::ChangePowerState(io::DevicePowerState newState) {
    CMutexLockScope power(m_PowerLock);
    if (newState == io::DevicePowerState::D0) {
        if (m_pModelPower != nullptr) m_pModelPower->PowerChangeState(newState);
        HoldTimerResolution(true);
        if (m_bAsioSuspended && m_pAsio != nullptr) m_pAsio->RestartStreams();
        m_bAsioSuspended = false;
    } else {
        // A device that is gone has nothing left to power down.
        if (m_pModelPower != nullptr && !IsDeviceGone()) m_pModelPower->PowerChangeState(newState);
        if (m_pAsio != nullptr && m_pAsio->StreamsRunning()) {
            m_pAsio->StopStreams();
            m_bAsioSuspended = true;
        }
        HoldTimerResolution(false);
    }
    m_Suspend.SetPowerState(newState);
}

// The resolution is asked for at most once at a time, so powering down and
// then going away gives it back once.
void CUsbAudioAdapter::HoldTimerResolution(bool hold) {
    if (hold == m_bTimerResolutionHeld) return;
    kernel::setTimerResolution(StreamingTimerResolution, hold);
    m_bTimerResolutionHeld = hold;
}

void CUsbAudioAdapter::FinishParkedAsioStop() {
    io::Irp* irp = m_pParkedAsioStop.exchange(nullptr);
    if (irp == nullptr) return;
    // A cancel that came first found the request gone and left it to us.
    io::setCancelRoutine(irp, nullptr);
    const io::IoStackLocation* location = io::currentStackLocation(irp);
    if (irp->cancelled())
        irp->ioStatus.status = kernel::STATUS_CANCELLED;
    else
        irp->ioStatus.status = m_pAsio != nullptr && location != nullptr
                                   ? m_pAsio->CarryOutStop(location->fileObject)
                                   : kernel::STATUS_UNSUCCESSFUL;
    io::completeRequest(irp);
}

bool CUsbAudioAdapter::AsioDeviceWorking() {
    return m_Suspend.GetPowerState() == io::DevicePowerState::D0;
}

bool CUsbAudioAdapter::ParkStopRequest(io::Irp* request) {
    io::Irp* none = nullptr;
    return m_pParkedAsioStop.compare_exchange_strong(none, request);
}

io::Irp* CUsbAudioAdapter::TakeParkedStop(io::FileObject* file) {
    io::Irp* parked = m_pParkedAsioStop.load();
    if (parked == nullptr) return nullptr;
    const io::IoStackLocation* location = io::currentStackLocation(parked);
    if (file != nullptr && (location == nullptr || location->fileObject != file)) return nullptr;
    return m_pParkedAsioStop.compare_exchange_strong(parked, nullptr) ? parked : nullptr;
}
