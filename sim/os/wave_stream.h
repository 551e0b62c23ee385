// The audio engine's stream on a wave pin: it creates the pin with a format,
// moves it one state at a time, and while the pin runs pumps its cyclic
// buffer with a BufferPump wired to the pin's buffer and position. The pin's
// notifications reach the pump from the pin's service routine, which the
// port layer runs in a deferred call; the pump serves them in a deferred
// call of its own, so nothing runs in the driver's context. The direction
// follows the pin: data into the filter is rendered, data out of it is
// captured.
#pragma once

#include "platform/kernel/status.h"
#include "platform/ks/data_format.h"
#include "platform/ks/state.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/buffer_pump.h"

#include <cstdint>
#include <memory>

namespace ossim {

class WaveStream {
public:
    WaveStream() = default;
    ~WaveStream() { close(); }
    WaveStream(const WaveStream&) = delete;
    WaveStream& operator=(const WaveStream&) = delete;

    // Opens the filter's pin with the format (as portcls::PinHandle::open)
    // and readies the pump over its buffer: frames of the format's block
    // size, one notification interval of the pin as the pump's period, the
    // margin in frames. STATUS_INVALID_PARAMETER for a format that is not a
    // wave format with a block size, a buffer that holds no whole number of
    // frames or a margin not below its frames (the pin is closed again);
    // STATUS_INVALID_DEVICE_REQUEST when open already.
    kernel::NTSTATUS open(const portcls::FilterHandle& filter, std::uint32_t pinId,
                          const ks::DataFormat* format, std::uint32_t marginFrames,
                          BufferPump::Signal signal);
    // Steps down to STOP and closes the pin.
    void close();
    bool isOpen() const { return m_pin.isOpen(); }
    PumpDirection direction() const { return m_direction; }

    // One state up or down from the present one, or the present one again.
    // The pump starts before the pin enters RUN (its first pass, at the next
    // settle, primes a render buffer) and stops once the pin has left it; a
    // pin paused from RUN and run again keeps its position, and the pump
    // goes on where it stopped.
    // STATUS_INVALID_PARAMETER for a jump of more than one state;
    // otherwise the pin's status (a refused step leaves the pin where it was).
    kernel::NTSTATUS setState(ks::KsState state);
    ks::KsState state() const { return m_pin.state(); }
    kernel::NTSTATUS position(std::uint32_t* position) const { return m_pin.position(position); }

    // Deferred calls of the pin's notifications, and the pump's counts.
    std::uint32_t serviceCount() const { return m_pin.serviceCount(); }
    PumpCounters counters() const;
    // The engine late for `length` from now (BufferPump::holdBack).
    void holdBack(kernel::Duration length);

private:
    portcls::PinHandle m_pin;
    std::unique_ptr<BufferPump> m_pump;
    PumpDirection m_direction = PumpDirection::render;
    bool m_paused = false; // in PAUSE, come from RUN
};

} // namespace ossim
