#include "driver/effects/fir8.h"

#include "sigproc/sigproc.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t HalfCount = 2;
constexpr std::size_t BufferBytes = HalfCount * CFir8::BlockFrames * sizeof(float);
constexpr std::size_t DelayLineBytes = Fir8Taps * sizeof(float);
// The smallest relative gain step per frame (2^-23).
constexpr float MinimumRelativeStep = 1.0f / 8388608.0f;

} // namespace

CFir8::CFir8() {
    std::fill(std::begin(m_CurrentGains), std::end(m_CurrentGains), 1.0f);
    std::fill(std::begin(m_ChannelGains), std::end(m_ChannelGains), 1.0f);
    SetRampFlags();
}

int CFir8::Allocate() {
    if (m_Allocated) return 1;
    int stateBytes = 0;
    if (sigFirGetStateSize_32f(Fir8Taps, &stateBytes) != sigOk) return 0;
    // Takes what is missing; a buffer already there stays.
    const auto take = [](CPoolBuffer& buffer, std::size_t bytes) {
        if (!buffer.IsValid())
            buffer = CPoolBuffer(kernel::PoolType::NonPagedNx, bytes, LimiterBufferTag);
        return buffer.IsValid();
    };
    for (std::uint32_t c = 0; c < Channels; ++c)
        if (!take(m_FirDelayLines[c], DelayLineBytes) ||
            !take(m_FirStateBuffers[c], static_cast<std::size_t>(stateBytes)) ||
            !take(m_Input[c], BufferBytes) || !take(m_Output[c], BufferBytes))
            return 0;
    m_Allocated = true;
    Reset();
    return 1;
}

void CFir8::Free() {
    for (std::uint32_t c = 0; c < Channels; ++c) {
        m_FirStates[c] = nullptr;
        m_FirDelayLines[c] = CPoolBuffer();
        m_FirStateBuffers[c] = CPoolBuffer();
        m_Input[c] = CPoolBuffer();
        m_Output[c] = CPoolBuffer();
    }
    m_Allocated = false;
}

void CFir8::Reset() {
    if (!m_Allocated) return;
    for (std::uint32_t c = 0; c < Channels; ++c) {
        std::memset(m_Input[c].Get(), 0, BufferBytes);
        std::memset(m_Output[c].Get(), 0, BufferBytes);
        std::memset(m_FirDelayLines[c].Get(), 0, DelayLineBytes);
        std::fill(std::begin(m_PeakRing[c]), std::end(m_PeakRing[c]), 0.0f);
    }
    m_Bank = 0;
    m_FillIndex = 0;
    m_ReadIndex = 0;
    m_RingPosition = 0;
    SetRampFlags();
}

void CFir8::SetFormat(const ks::WaveFormatExtensible* format) {
    Reset();
    if (format == nullptr) return;
    m_nChannels = format->Format.nChannels <= Channels ? format->Format.nChannels : 0;
    PrepareFilters(format->Format.nSamplesPerSec);
}

void CFir8::PrepareFilters(std::uint32_t rate) {
    if (!m_Allocated) return;
    m_Coefficients = MakeFir8Coefficients(rate);
    for (std::uint32_t c = 0; c < Channels; ++c)
        sigFirInit_32f(&m_FirStates[c], m_Coefficients.data(), Fir8Taps,
                       m_FirDelayLines[c].Get<float>(), m_FirStateBuffers[c].Get<unsigned char>());
}

void CFir8::SetRampFlags() { std::fill(std::begin(m_RampFlags), std::end(m_RampFlags), true); }

void CFir8::SetMode(int mode) {
    m_Mode = mode;
    SetRampFlags();
}

void CFir8::SetParam(float threshold) {
    m_Threshold = threshold;
    SetRampFlags();
}

void CFir8::SetTargetGain(float gain) {
    std::fill(std::begin(m_GainLimits), std::end(m_GainLimits), gain);
    if (m_Mode == 0) SetRampFlags();
}

float* CFir8::InputHalf(std::uint32_t channel, int half) const {
    return m_Input[channel].Get<float>() + half * BlockFrames;
}

float* CFir8::OutputHalf(std::uint32_t channel, int half) const {
    return m_Output[channel].Get<float>() + half * BlockFrames;
}

// The newest block goes into input half (bank + 1) while output half bank,
// written two blocks earlier, is read out over the same frames; both indices
// move together, so a block leaves 256 frames after it came in.
void CFir8::Process(float* const* planes, int frames) {
    if (!m_Allocated || m_nChannels == 0 || planes == nullptr || frames <= 0) return;
    float* position[Channels] = {};
    std::copy_n(planes, m_nChannels, position);
    auto remaining = static_cast<std::uint32_t>(frames);
    while (remaining > 0) {
        const std::uint32_t chunk = std::min(remaining, BlockFrames - m_FillIndex);
        const int filling = (m_Bank + 1) % 2;
        for (std::uint32_t c = 0; c < m_nChannels; ++c)
            std::copy_n(position[c], chunk, InputHalf(c, filling) + m_FillIndex);
        m_FillIndex += chunk;
        if (m_FillIndex == BlockFrames) {
            ProcessBlock(BlockFrames);
            m_FillIndex = 0;
        }
        for (std::uint32_t c = 0; c < m_nChannels; ++c) {
            std::copy_n(OutputHalf(c, m_Bank) + m_ReadIndex, chunk, position[c]);
            position[c] += chunk;
        }
        m_ReadIndex += chunk;
        if (m_ReadIndex == BlockFrames) {
            m_ReadIndex = 0;
            m_Bank = (m_Bank + 1) % 2;
        }
        remaining -= chunk;
    }
}

// The previous block (input half bank) is written gained into output half
// (bank + 1), with each channel's gain moving over the block to the common
// target that already counts the newest block: a fall completes within the
// block, a rise does too when a ramp is pending, otherwise it closes
// 1/10240 of the distance per frame.
void CFir8::ProcessBlock(std::uint32_t count) {
    UpdateGains(count);
    float target = 0.0f;
    sigMin_32f(m_ChannelGains, static_cast<int>(m_nChannels), &target);
    const int n = static_cast<int>(count);
    for (std::uint32_t c = 0; c < m_nChannels; ++c) {
        const float* in = InputHalf(c, m_Bank);
        float* out = OutputHalf(c, (m_Bank + 1) % 2);
        float g = m_CurrentGains[c];
        if (g < target) {
            float step = m_RampFlags[c] ? (target - g) / static_cast<float>(count)
                                        : (target - g) / SlowRiseDivisor;
            step = std::max(step, g * MinimumRelativeStep);
            for (int j = 0; j < n; ++j) {
                out[j] = in[j] * g;
                g = std::min(g + step, target);
            }
        } else if (g > target) {
            const float step =
                std::max((g - target) / static_cast<float>(count), g * MinimumRelativeStep);
            for (int j = 0; j < n; ++j) {
                out[j] = in[j] * g;
                g = std::max(g - step, target);
            }
        } else {
            sigMulConst_32f(in, g, out, n);
        }
        m_RampFlags[c] = false;
        m_CurrentGains[c] = g;
    }
}

// Per channel: the newest block's peak joins the ring, the hold window is
// that peak and the 19 before it, and the channel may have its gain limit
// unless that would take the window's peak above the threshold.
void CFir8::UpdateGains(std::uint32_t count) {
    const int newest = (m_Bank + 1) % 2;
    for (std::uint32_t c = 0; c < m_nChannels; ++c) {
        const float peak = BlockPeak(InputHalf(c, newest), static_cast<int>(count));
        m_PeakRing[c][m_RingPosition] = peak;
        float windowPeak = peak;
        for (std::uint32_t back = 1; back < HoldBlocks; ++back)
            windowPeak =
                std::max(windowPeak,
                         m_PeakRing[c][(m_RingPosition + PeakRingBlocks - back) % PeakRingBlocks]);
        const float limit = m_GainLimits[c];
        float gain = m_Threshold >= windowPeak * limit ? limit : m_Threshold / windowPeak;
        m_ChannelGains[c] = gain < 0.0f ? 0.0f : gain;
    }
    m_RingPosition = (m_RingPosition + 1) % PeakRingBlocks;
}

float CFir8::BlockPeak(const float* samples, int count) {
    float extremes[2] = {};
    sigMax_32f(samples, count, &extremes[0]);
    sigMin_32f(samples, count, &extremes[1]);
    sigAbsInPlace_32f(extremes, 2);
    return std::max(extremes[0], extremes[1]);
}
