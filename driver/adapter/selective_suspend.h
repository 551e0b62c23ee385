// Selective suspend of the USB audio adapter: while nothing is in flight
// and no stream runs, a periodic timer queues a work item that hands the hub
// an idle request; when the hub calls back, the device is asked into D3.
// Every request that reaches the adapter first wakes the device: the idle
// request is cancelled and, when the device had gone down, D0 is asked for
// again. The completion path and the cancel path share one request and free
// it exactly once (an interlocked count of two, one for each path).
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/event.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"
#include "platform/kernel/timer.h"
#include "platform/usb/bus_status.h"

#include <chrono>
#include <cstdint>

class CSelectiveSuspend {
public:
    // Idle checks: the first five seconds after the timer is set, then every
    // five seconds.
    static constexpr kernel::Duration IdleCheckDelay = std::chrono::seconds(5);
    static constexpr kernel::Duration IdleCheckPeriod = std::chrono::milliseconds(5000);
    // How long a wake waits for the idle request to end, and again for D0.
    static constexpr kernel::Duration WakeWait = std::chrono::milliseconds(500);

    CSelectiveSuspend() = default;
    ~CSelectiveSuspend() { Stop(); }
    CSelectiveSuspend(const CSelectiveSuspend&) = delete;
    CSelectiveSuspend& operator=(const CSelectiveSuspend&) = delete;

    // The lower device takes the idle request; power requests are asked for
    // the physical device. Nothing is armed yet.
    void Init(io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice, bool enabled);
    bool IsEnabled() const { return m_bEnabled; }
    // Sets the idle timer when selective suspend is enabled.
    void Arm();

    // Idle: nothing in flight (busy count 1) and no active stream.
    bool IsIdle() const;
    void BeginBusy();
    void EndBusy();
    std::int32_t AddActiveStream();
    std::int32_t ReleaseActiveStream();

    io::DevicePowerState GetPowerState() const;
    void SetPowerState(io::DevicePowerState state);

    // Hands the hub an idle request. STATUS_POWER_STATE_INVALID out of D0,
    // STATUS_DEVICE_BUSY while one is outstanding, STATUS_UNSUCCESSFUL when
    // the device stopped being idle meanwhile; otherwise the send's status.
    kernel::NTSTATUS SubmitIdleRequest();
    // Takes the outstanding idle request back unless the device is idle.
    void CancelIdleRequest();
    // WakeDevice's body: never fails; gives up waiting after WakeWait twice.
    void Wake();

    // Stops the timer for good and waits for the work item, the idle request
    // and a power-up under way.
    void Stop();

    // For tests and the adapter's diagnostics.
    bool IdleRequestOutstanding() const;

private:
    struct WorkRecord;

    static void TimerDpc(kernel::Dpc& dpc, void* context, void* argument1, void* argument2);
    static void WorkRoutine(void* context);
    static void IdleCallback(void* context);
    static kernel::NTSTATUS IdleRequestCompleted(io::DeviceObject* device, io::Irp* irp,
                                                 void* context);
    static void PowerUpCompleted(io::DeviceObject* device, std::uint8_t minorFunction,
                                 io::DevicePowerState state, void* context,
                                 const io::IoStatusBlock& ioStatus);
    void StopTimer();
    void QueueIdleCheck();
    void RequestPowerUp();
    // Frees the request when this path is the second of the two to let go.
    void ReleaseIdleRequest(io::Irp* irp);

    io::DeviceObject* m_pLowerDevice = nullptr;
    io::DeviceObject* m_pPhysicalDevice = nullptr;
    bool m_bEnabled = false;
    std::int32_t m_lStopping = 0;
    std::int32_t m_lBusy = 1;
    std::int32_t m_lActiveStreams = 0;
    std::uint32_t m_PowerState = static_cast<std::uint32_t>(io::DevicePowerState::D0);

    // Guards the request, its callback record and the pending flag.
    mutable kernel::SpinLock m_Lock;
    io::Irp* m_pIdleIrp = nullptr;
    usb::IdleCallbackInfo* m_pCallbackRecord = nullptr;
    bool m_bPending = false;
    std::int32_t m_lIdleRequestCount = 0;

    kernel::Timer m_Timer;
    kernel::Dpc m_Dpc{TimerDpc, this};
    kernel::Event m_IdleRequestEvent{kernel::EventType::Notification, true};
    kernel::Event m_PowerUpEvent{kernel::EventType::Notification, true};
    kernel::Event m_WorkItemEvent{kernel::EventType::Notification, true};
};
