#include "sim/os/buffer_pump.h"

#include "platform/kernel/clock.h"

#include <algorithm>
#include <utility>

namespace ossim {

BufferPump::BufferPump(PumpSettings settings, PositionSource position, Signal signal)
    : BufferPump(settings,
                 GuardedBy{position
                               ? BufferAccess([position](const Pass& pass) { pass(position()); })
                               : BufferAccess()},
                 std::move(signal)) {}

BufferPump::BufferPump(PumpSettings settings, GuardedBy guard, Signal signal)
    : m_settings(settings), m_access(std::move(guard.access)), m_signal(std::move(signal)) {}

BufferPump::~BufferPump() { stop(); }

kernel::NTSTATUS BufferPump::start() { return run(false); }

kernel::NTSTATUS BufferPump::resume() { return run(true); }

kernel::NTSTATUS BufferPump::run(bool goOn) {
    const CyclicBuffer& buffer = m_settings.buffer;
    const bool render = m_settings.direction == PumpDirection::render;
    if (buffer.address == nullptr || buffer.frameSize == 0 || buffer.size < buffer.frameSize ||
        buffer.size % buffer.frameSize != 0 || m_settings.marginFrames >= frames() ||
        m_settings.period <= kernel::Duration::zero() || !m_access ||
        (render ? !m_signal.source : !m_signal.sink))
        return kernel::STATUS_INVALID_PARAMETER;
    if (m_running) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (!goOn) m_anchored = false;
    m_running = true;
    m_timer.setCoalescable(m_settings.period, m_settings.period, m_settings.period / 2, &m_dpc);
    kernel::queueDpc(m_dpc, nullptr, nullptr);
    return kernel::STATUS_SUCCESS;
}

void BufferPump::stop() {
    if (!m_running.exchange(false)) return;
    m_timer.cancel();
    kernel::removeQueuedDpc(m_dpc);
    kernel::flushQueuedDpcs(); // one already running, or queued by a late notify
}

void BufferPump::notify() {
    if (m_running) kernel::queueDpc(m_dpc, nullptr, nullptr);
}

PumpCounters BufferPump::counters() const {
    return {m_notifications.load(),  m_underruns.load(),     m_overruns.load(),
            m_underrunFrames.load(), m_overrunFrames.load(), m_badPositions.load(),
            m_framesCopied.load()};
}

void BufferPump::onNotification(kernel::Dpc&, void* self, void*, void*) {
    static_cast<BufferPump*>(self)->pump();
}

void BufferPump::pump() {
    if (!m_running || kernel::currentClock().now() < m_heldUntil.load()) return;
    ++m_notifications;
    m_access([this](std::uint32_t position) { pass(position); });
}

void BufferPump::pass(std::uint32_t position) {
    if (position >= m_settings.buffer.size) {
        ++m_badPositions;
        return;
    }
    const std::uint32_t frame = position / m_settings.buffer.frameSize;
    if (!m_anchored) {
        m_anchored = true;
        m_originFrame = m_lastPosition = frame;
        m_positionFrames = m_cursorFrames = 0;
    }
    // A position that wrapped shows as one that is behind the last.
    m_positionFrames += (frame + frames() - m_lastPosition) % frames();
    m_lastPosition = frame;
    if (m_settings.direction == PumpDirection::render)
        render(m_positionFrames);
    else
        capture(m_positionFrames);
}

// Hands the buffer's pieces (at most two, split at its end) that hold the
// frames from the cursor up to `to` to copy, and moves the cursor there.
template <class Copy> void BufferPump::advanceCursor(std::uint64_t to, Copy copy) {
    while (m_cursorFrames < to) {
        const auto at = static_cast<std::uint32_t>((m_originFrame + m_cursorFrames) % frames());
        const auto count =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(to - m_cursorFrames, frames() - at));
        copy(m_settings.buffer.address + std::size_t{at} * m_settings.buffer.frameSize, count);
        m_cursorFrames += count;
        m_framesCopied += count;
    }
}

void BufferPump::render(std::uint64_t positionFrames) {
    if (positionFrames > m_cursorFrames) {
        ++m_underruns; // the pin played frames that were never written
        m_underrunFrames += positionFrames - m_cursorFrames;
        m_cursorFrames = positionFrames;
    }
    const std::uint64_t target = positionFrames + m_settings.marginFrames;
    advanceCursor(target, [this](std::uint8_t* frames, std::uint32_t count) {
        m_signal.source(frames, count);
    });
}

void BufferPump::capture(std::uint64_t positionFrames) {
    // The device may be writing the margin past the position, which is the
    // buffer's oldest frames; what lies there is lost.
    const std::uint64_t reach = positionFrames + m_settings.marginFrames;
    if (reach > frames() && m_cursorFrames < reach - frames()) {
        ++m_overruns;
        m_overrunFrames += reach - frames() - m_cursorFrames;
        m_cursorFrames = reach - frames();
    }
    advanceCursor(positionFrames, [this](std::uint8_t* frames, std::uint32_t count) {
        m_signal.sink(frames, count);
    });
}

} // namespace ossim
