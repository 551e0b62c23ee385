#include "sim/os/wave_stream.h"

#include "platform/kernel/clock.h"
#include "platform/ks/wave_format.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <utility>

namespace ossim {

namespace {

// The block size of a format with a wave record behind its head; 0 for another.
std::uint32_t frameSizeOf(const ks::DataFormat* format) {
    if (format == nullptr || format->FormatSize < ks::dataFormatWaveFormatExSize ||
        format->Specifier != ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)
        return 0;
    ks::WaveFormatEx wave{};
    std::memcpy(&wave,
                reinterpret_cast<const std::byte*>(format) +
                    offsetof(ks::DataFormatWaveFormatEx, WaveFormatEx),
                sizeof wave);
    return wave.nBlockAlign;
}

} // namespace

kernel::NTSTATUS WaveStream::open(const portcls::FilterHandle& filter, std::uint32_t pinId,
                                  const ks::DataFormat* format, std::uint32_t marginFrames,
                                  BufferPump::Signal signal) {
    if (m_pin.isOpen()) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const std::uint32_t frameSize = frameSizeOf(format);
    if (frameSize == 0) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = m_pin.open(filter, pinId, format);
    if (!kernel::succeeded(status)) return status;
    void* address = nullptr;
    std::uint32_t size = 0;
    status = m_pin.buffer(&address, &size);
    if (kernel::succeeded(status) &&
        (address == nullptr || size < frameSize || size % frameSize != 0 ||
         marginFrames >= size / frameSize || m_pin.notificationInterval() == 0))
        status = kernel::STATUS_INVALID_PARAMETER;
    if (!kernel::succeeded(status)) {
        m_pin.close();
        return status;
    }
    m_direction = filter.descriptor()->Pins[pinId].DataFlow == ks::PinDataFlow::Out
                      ? PumpDirection::capture
                      : PumpDirection::render;
    const PumpSettings settings{m_direction,
                                {static_cast<std::uint8_t*>(address), size, frameSize},
                                std::chrono::milliseconds(m_pin.notificationInterval()),
                                marginFrames};
    // Each pass runs while the pin's buffer cannot go; a position the pin
    // cannot give (its stream went) reads as one outside the buffer, and the
    // pass then touches nothing.
    auto access = [this, size](const BufferPump::Pass& pass) {
        if (!kernel::succeeded(m_pin.accessBuffer(pass))) pass(size);
    };
    m_pump = std::make_unique<BufferPump>(settings, BufferPump::GuardedBy{std::move(access)},
                                          std::move(signal));
    BufferPump* pump = m_pump.get();
    m_pin.setServiceRoutine([pump] { pump->notify(); });
    return kernel::STATUS_SUCCESS;
}

void WaveStream::close() {
    m_paused = false;
    if (m_pump) m_pump->stop();
    m_pin.close();
    m_pump.reset();
}

kernel::NTSTATUS WaveStream::setState(ks::KsState state) {
    if (!m_pin.isOpen()) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const auto from = static_cast<int>(m_pin.state());
    const auto to = static_cast<int>(state);
    if (to - from > 1 || from - to > 1) return kernel::STATUS_INVALID_PARAMETER;
    const bool entersRun = state == ks::KsState::Run && from != to;
    if (entersRun) {
        const kernel::NTSTATUS started = m_paused ? m_pump->resume() : m_pump->start();
        if (!kernel::succeeded(started)) return started;
    }
    const kernel::NTSTATUS status = m_pin.setState(state);
    if (m_pin.state() != ks::KsState::Run) m_pump->stop();
    // Only a pin paused from RUN keeps its place; ACQUIRE or STOP start anew.
    m_paused = m_pin.state() == ks::KsState::Pause &&
               (m_paused || from == static_cast<int>(ks::KsState::Run));
    return status;
}

void WaveStream::holdBack(kernel::Duration length) {
    if (m_pump) m_pump->holdBack(kernel::currentClock().now() + length);
}

PumpCounters WaveStream::counters() const { return m_pump ? m_pump->counters() : PumpCounters{}; }

} // namespace ossim
