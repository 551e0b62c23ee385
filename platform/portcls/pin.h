// A wave pin the system opened on a wave-cyclic port's filter: the
// miniport's stream with its DMA channel and service group, the pin's state
// (moved one step at a time), the notification interval agreed with the
// stream, and the service the stream's notifications
// lead to. The pin is a member of its stream's service group, so each
// notification the stream raises through its port reaches the pin in the
// group's deferred procedure call, never in the stream's own context.
//
// The system's requests on the pin and the port letting the pin's stream go
// (its subdevice leaving the device, as on a removal) come from different
// threads; they take turns, so a stream is never let go while a state change
// runs on it, and a position read at any level sees the stream or none.
#pragma once

#include "platform/kernel/mutex.h"
#include "platform/kernel/spin_lock.h"
#include "platform/ks/state.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/pool_object.h"
#include "platform/portcls/service_group.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace portcls {

class Port;

// The interval a pin asks its stream to notify at: the audio engine's period.
inline constexpr std::uint32_t requestedInterval = 10; // milliseconds

class Pin final : public PortLayerObject<IServiceSink, pool_tag::pin, IID_IServiceSink> {
public:
    Pin(Port* port, std::uint32_t pinId);

    void RequestService() override;

    // Asks the port's miniport for the stream, then asks the stream to
    // notify every requestedInterval milliseconds; once.
    kernel::NTSTATUS open(bool capture, const ks::DataFormat* format);
    std::uint32_t pinId() const { return pinId_; }
    ks::KsState state() const { return state_.load(); }
    // Steps through every state between the current one and the target;
    // stops at the first step the stream refuses and returns its status.
    kernel::NTSTATUS setState(ks::KsState target);
    kernel::NTSTATUS position(std::uint32_t* position);
    // Runs work with the stream's position while the stream, and so its
    // buffer, cannot go; at any level up to dispatch. The position's status
    // when the stream cannot give it (work does not run then).
    kernel::NTSTATUS accessBuffer(const std::function<void(std::uint32_t position)>& work);
    IDmaChannel* dmaChannel() const;
    // The notification interval the stream keeps (milliseconds) and the
    // bytes of one interval, as it answered when the pin opened.
    std::uint32_t notificationInterval() const { return interval_; }
    std::uint32_t framingSize() const { return framing_; }

    std::uint32_t serviceCount() const { return services_.load(); }
    // Runs in each service, at dispatch level; set it while the pin is stopped.
    void setServiceRoutine(std::function<void()> routine) { serviceRoutine_ = std::move(routine); }

    // Steps down to STOP and lets the stream go; the pin stays, without a
    // stream, until closed. For closing and for a port losing its miniport.
    void detach();
    // The system closes the pin: detach, leave the port, drop the handle's reference.
    void close();

private:
    ~Pin() override;

    Port* const port_; // with a reference
    const std::uint32_t pinId_;
    // Held across every state change, open and detach (passive level).
    mutable kernel::Mutex control_;
    IMiniportWaveCyclicStream* stream_ = nullptr; // each with a reference, under control_
    IDmaChannel* dma_ = nullptr;
    IServiceGroup* serviceGroup_ = nullptr;
    // The stream position reads may use: cleared under it before the
    // stream is let go.
    kernel::SpinLock positionLock_;
    IMiniportWaveCyclicStream* positionStream_ = nullptr;
    std::atomic<ks::KsState> state_{ks::KsState::Stop};
    std::atomic<bool> opened_{false}; // open is asked once
    bool detached_ = false;           // under control_: the stream went, or will never come
    std::uint32_t interval_ = 0;
    std::uint32_t framing_ = 0;
    std::atomic<std::uint32_t> services_{0};
    std::function<void()> serviceRoutine_;
};

} // namespace portcls
