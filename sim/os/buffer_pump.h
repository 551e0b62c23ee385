// The audio engine's side of a wave pin's cyclic buffer. On each
// notification, delivered in a deferred procedure call and never in the
// caller's context, the pump reads the pin's position and
// - render: copies frames of its signal source into the buffer so that they
//   run a margin of frames ahead of the position;
// - capture: hands the frames the position has passed to its signal sink.
// Notifications come from a periodic timer of the pump's period on the
// platform's clock, and from notify() (a pin's own notification), so under
// a manual clock the pump runs in lockstep with every advance. On the real
// clock the timer may come up to half a period late, so that it shares a
// wake with the bus's frames rather than waking the clock's service itself.
//
// It counts notifications, underruns (render: the position overtook the
// frames written; the pump then writes ahead of the new position) and
// overruns (capture: the position came round to frames not yet handed on,
// within the margin the device may be writing; those frames are dropped),
// each with its frames.
// The pump knows nothing of the port layer: a buffer, a position and a
// period are all it needs.
#pragma once

#include "platform/kernel/dpc.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"
#include "platform/kernel/timer.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace ossim {

enum class PumpDirection { render, capture };

struct CyclicBuffer {
    std::uint8_t* address = nullptr;
    std::uint32_t size = 0;      // bytes, a whole number of frames
    std::uint32_t frameSize = 0; // bytes of one frame of all channels
};

struct PumpSettings {
    PumpDirection direction = PumpDirection::render;
    CyclicBuffer buffer;
    kernel::Duration period{0};     // between the timer's notifications
    std::uint32_t marginFrames = 0; // fewer than the buffer's frames
};

struct PumpCounters {
    std::uint64_t notifications = 0;
    std::uint64_t underruns = 0;
    std::uint64_t overruns = 0;
    // The frames of them: render, played without having been written (the
    // buffer's stale frames); capture, dropped unread.
    std::uint64_t underrunFrames = 0;
    std::uint64_t overrunFrames = 0;
    std::uint64_t badPositions = 0; // positions outside the buffer, ignored
    std::uint64_t framesCopied = 0;
};

class BufferPump {
public:
    // The pin's position: a byte offset into the buffer. Called at dispatch level.
    using PositionSource = std::function<std::uint32_t()>;
    // Runs a pass with the pin's position while the buffer is certain to
    // stay (a position outside the buffer when it is gone). Called at
    // dispatch level.
    using Pass = std::function<void(std::uint32_t position)>;
    using BufferAccess = std::function<void(const Pass& pass)>;
    struct GuardedBy {
        BufferAccess access;
    };
    // Render: fills `count` frames with the signal's next frames.
    using SignalSource = std::function<void(std::uint8_t* frames, std::uint32_t count)>;
    // Capture: takes the next `count` frames of the signal.
    using SignalSink = std::function<void(const std::uint8_t* frames, std::uint32_t count)>;

    // The end of the signal the direction uses: a source to render, a sink
    // to capture.
    struct Signal {
        SignalSource source;
        SignalSink sink;
    };

    BufferPump(PumpSettings settings, PositionSource position, Signal signal);
    // For a buffer that may go while the pump runs: each pass reads and
    // copies inside the access.
    BufferPump(PumpSettings settings, GuardedBy guard, Signal signal);
    ~BufferPump(); // stops
    BufferPump(const BufferPump&) = delete;
    BufferPump& operator=(const BufferPump&) = delete;

    // Sets the periodic timer and delivers a first notification at once
    // (the render buffer is filled before the pin runs); the buffer's
    // present position is where the signal starts. STATUS_INVALID_PARAMETER
    // for a buffer without an address, frames or whole frames, a margin not
    // below its frames, a period not above zero or a missing callback;
    // STATUS_INVALID_DEVICE_REQUEST when running. Passive level.
    kernel::NTSTATUS start();
    // As start, but a pump that ran before goes on where it stopped, as the
    // audio engine does with a pin that was paused: the signal continues
    // from the frames written (render) or handed on (capture), and the
    // pin's position is read as moved on from the last one seen. A pump that
    // never ran starts.
    kernel::NTSTATUS resume();
    // Returns once no notification runs or is queued. Passive level.
    void stop();
    bool running() const { return m_running.load(); }

    // A notification from the pin; up to dispatch level. One arriving while
    // another is queued joins it.
    void notify();

    PumpCounters counters() const;

    // The engine late, as a loaded machine makes it: notifications that come
    // before the clock reaches `until` are passed over, and the first one
    // after it serves everything the position passed meanwhile. Up to
    // dispatch level.
    void holdBack(kernel::Duration until) { m_heldUntil = until; }

private:
    static void onNotification(kernel::Dpc& dpc, void* self, void*, void*);
    kernel::NTSTATUS run(bool goOn);
    void pump();
    void pass(std::uint32_t position);
    void render(std::uint64_t positionFrames);
    void capture(std::uint64_t positionFrames);
    std::uint32_t frames() const { return m_settings.buffer.size / m_settings.buffer.frameSize; }
    template <class Copy> void advanceCursor(std::uint64_t to, Copy copy);

    const PumpSettings m_settings;
    const BufferAccess m_access;
    const Signal m_signal;
    kernel::Dpc m_dpc{onNotification, this};
    kernel::Timer m_timer;
    std::atomic<bool> m_running{false};

    // Only the deferred call touches these while running. Frames are counted
    // from where the signal started and run on past the buffer's end.
    bool m_anchored = false;          // the first notification saw the position
    std::uint32_t m_originFrame = 0;  // where the signal started in the buffer
    std::uint32_t m_lastPosition = 0; // frame offset in the buffer
    std::uint64_t m_positionFrames = 0;
    std::uint64_t m_cursorFrames = 0; // render: written up to; capture: handed on up to

    std::atomic<std::uint64_t> m_notifications{0};
    std::atomic<std::uint64_t> m_underruns{0};
    std::atomic<std::uint64_t> m_overruns{0};
    std::atomic<std::uint64_t> m_underrunFrames{0};
    std::atomic<std::uint64_t> m_overrunFrames{0};
    std::atomic<kernel::Duration> m_heldUntil{kernel::Duration::zero()};
    std::atomic<std::uint64_t> m_badPositions{0};
    std::atomic<std::uint64_t> m_framesCopied{0};
};

} // namespace ossim
