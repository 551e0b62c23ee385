#include "driver/effects/hrtf_filter_set.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int InputHistory = HrtfTaps;
constexpr int InputArea = InputHistory + CHrtfFilterSet::ChunkFrames;
constexpr int OutputHistory = CHrtfFilterSet::MaxDelay;
constexpr int OutputArea = OutputHistory + CHrtfFilterSet::ChunkFrames;
// The block: scratch, then per channel three output areas (left, right and
// a copy of the input that nothing reads), the input, left and right taps.
constexpr std::size_t ScratchBytes = 4096;
constexpr int ChannelFloats = 3 * OutputArea + InputArea + 2 * HrtfTaps;
constexpr float Q15 = 1.0f / 32768.0f;
constexpr float Q10 = 1.0f / 1024.0f;
constexpr float WeightFloor = 1e-10f;
constexpr float LowFrequencyShare = 0.5f;

std::int16_t GainToQ10(float gain) {
    if (std::isnan(gain)) return 0;
    const float scaled = std::clamp(gain * 1024.0f, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>(scaled); // toward zero
}

float Convolve(const float* taps, const float* newest) {
    float sum = 0.0f;
    for (int k = 0; k < HrtfTaps; ++k) sum += taps[k] * newest[-k];
    return sum;
}

} // namespace

std::size_t CHrtfFilterSet::BlockBytes(int channels) {
    return ScratchBytes + sizeof(float) * std::size_t(channels) * ChannelFloats;
}

bool CHrtfFilterSet::Init(int channels) {
    if (channels != Channels) return false;
    if (!m_Block.IsValid()) {
        m_Block = CPoolBuffer(kernel::PoolType::NonPagedNx, BlockBytes(Channels), HrtfBlockTag);
        if (!m_Block.IsValid()) return false;
    }
    std::memset(m_Block.Get(), 0, m_Block.Size());
    float* next = m_Block.Get<float>() + ScratchBytes / sizeof(float);
    for (int c = 0; c < Channels; ++c) {
        m_LeftOutput[c] = next;
        m_RightOutput[c] = next + OutputArea;
        m_InputHistory[c] = next + 3 * OutputArea;
        m_LeftTaps[c] = m_InputHistory[c] + InputArea;
        m_RightTaps[c] = m_LeftTaps[c] + HrtfTaps;
        next += ChannelFloats;
        m_LeftDelays[c] = m_RightDelays[c] = 0;
    }
    m_LowFrequencyToLeft = m_LowFrequencyToRight = true;
    return true;
}

void CHrtfFilterSet::Free() {
    m_Block = CPoolBuffer();
    for (int c = 0; c < Channels; ++c)
        m_InputHistory[c] = m_LeftOutput[c] = m_RightOutput[c] = m_LeftTaps[c] = m_RightTaps[c] =
            nullptr;
}

void CHrtfFilterSet::ClearHistory() {
    if (!m_Block.IsValid()) return;
    for (int c = 0; c < Channels; ++c) {
        std::fill_n(m_LeftOutput[c], OutputArea, 0.0f);
        std::fill_n(m_RightOutput[c], OutputArea, 0.0f);
        std::fill_n(m_InputHistory[c], InputArea, 0.0f);
    }
}

void CHrtfFilterSet::Load(int row, float azimuth, float elevation, float gain, const HrtfPair* left,
                          const HrtfPair* right) {
    if (row < 0 || row >= Channels) return;
    if (row != LowFrequencyChannel && left != nullptr && right != nullptr && m_Block.IsValid()) {
        for (int k = 0; k < HrtfTaps; ++k) {
            m_LeftTaps[row][k] = (*left)[k] * Q15;
            m_RightTaps[row][k] = (*right)[k] * Q15;
        }
        const auto delay = [](std::int16_t value) {
            return static_cast<std::uint8_t>(std::min<int>(value & 0xFF, MaxDelay));
        };
        m_LeftDelays[row] = delay((*left)[HrtfTaps]);
        m_RightDelays[row] = delay((*right)[HrtfTaps]);
    }
    m_Azimuths[row] = azimuth;
    m_Elevations[row] = elevation;
    m_Gains[row] = gain;
    m_GainsQ10[row] = GainToQ10(gain);
}

void CHrtfFilterSet::Process(const float* const* input, float* const* output, int frames) {
    if (!m_Block.IsValid() || input == nullptr || output == nullptr) return;
    for (int c = 0; c < Channels; ++c)
        if (input[c] == nullptr || output[c] == nullptr) return;
    const float* in[Channels];
    float* out[Channels];
    for (int done = 0; done < frames; done += ChunkFrames) {
        const int n = std::min(ChunkFrames, frames - done);
        for (int c = 0; c < Channels; ++c) {
            in[c] = input[c] + done;
            out[c] = output[c] + done;
        }
        ProcessChunk(in, out, n);
    }
}

void CHrtfFilterSet::ProcessChunk(const float* const* in, float* const* out, int n) {
    // Every channel's ear filters first: the outputs may overwrite the inputs.
    for (int c = 0; c < Channels; ++c) {
        if (c == LowFrequencyChannel) continue;
        float* history = m_InputHistory[c];
        std::copy_n(in[c], n, history + InputHistory);
        for (int j = 0; j < n; ++j) {
            const float* newest = history + InputHistory + j;
            m_LeftOutput[c][OutputHistory + j] = Convolve(m_LeftTaps[c], newest);
            m_RightOutput[c][OutputHistory + j] = Convolve(m_RightTaps[c], newest);
        }
        std::copy_n(history + n, InputHistory, history);
    }
    float weights[Channels];
    for (int c = 0; c < Channels; ++c) weights[c] = m_GainsQ10[c] * Q10 + WeightFloor;
    const float lowGain = m_GainsQ10[LowFrequencyChannel] * Q10;
    for (int j = 0; j < n; ++j) {
        const float low = in[LowFrequencyChannel][j] * lowGain;
        float left = 0.0f, right = 0.0f;
        for (int c = 0; c < Channels; ++c) {
            if (c == LowFrequencyChannel) continue;
            left += weights[c] * m_LeftOutput[c][OutputHistory + j - m_LeftDelays[c]];
            right += weights[c] * m_RightOutput[c][OutputHistory + j - m_RightDelays[c]];
        }
        if (m_LowFrequencyToLeft) left += LowFrequencyShare * low;
        if (m_LowFrequencyToRight) right += LowFrequencyShare * low;
        out[0][j] = OutputScale * left;
        out[1][j] = OutputScale * right;
    }
    if (out[LowFrequencyChannel] != in[LowFrequencyChannel])
        std::copy_n(in[LowFrequencyChannel], n, out[LowFrequencyChannel]);
    for (int c : {2, 4, 5, 6, 7}) std::fill_n(out[c], n, 0.0f);
    for (int c = 0; c < Channels; ++c) {
        if (c == LowFrequencyChannel) continue;
        std::copy_n(m_LeftOutput[c] + n, OutputHistory, m_LeftOutput[c]);
        std::copy_n(m_RightOutput[c] + n, OutputHistory, m_RightOutput[c]);
    }
}
