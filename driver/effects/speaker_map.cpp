#include "driver/effects/speaker_map.h"

#include "driver/effects/angle_wrap.h"
#include "driver/effects/fast_sqrt.h"
#include "sigproc/sigproc.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float FixedDirections[CSpeakerMap::Directions] = {-30, 30, -150, 150, 0, -100, 100};
// Speaker buffer s holds plane SpeakerPlanes[s].
constexpr int SpeakerPlanes[CSpeakerMap::Speakers] = {0, 1, 4, 5, 2, 6, 7, 3};
constexpr float OnDirection = 1.0f / 8388608.0f; // 2^-23

float DistanceGain(float distance) {
    const float ratio = CSpeakerMap::ReferenceDistance / distance;
    const float gain = ratio * ratio;
    return std::isnan(gain) ? CSpeakerMap::MaxDistanceGain
                            : std::min(gain, CSpeakerMap::MaxDistanceGain);
}

float NonZero(float gain) { return gain == 0.0f ? CSpeakerMap::ZeroGain : gain; }

} // namespace

CSpeakerMap::CSpeakerMap() {
    for (int d = 0; d < Directions; ++d) {
        m_Angles[d] = FixedDirections[d];
        m_OldIndexA[d] = m_OldIndexB[d] = m_NewIndexA[d] = m_NewIndexB[d] = d;
        m_OldGainA[d] = m_NewGainA[d] = 1.0f;
        m_OldGainB[d] = m_NewGainB[d] = ZeroGain;
    }
    m_Angles[LowFrequencySpeaker] = 0.0f;
}

std::uint8_t CSpeakerMap::Alloc() {
    const auto allocate = [](float*& buffer) {
        if (buffer == nullptr) buffer = sigMalloc_32f(BlockFrames);
        return buffer != nullptr;
    };
    bool ok = true;
    for (float*& b : m_Buffers) ok = ok && allocate(b);
    for (float*& a : m_Accumulators) ok = ok && allocate(a);
    ok = ok && allocate(m_RampUp) && allocate(m_RampDown) && allocate(m_Scratch);
    if (!ok) {
        Free();
        return 0;
    }
    return 1;
}

void CSpeakerMap::Free() {
    const auto release = [](float*& buffer) {
        sigFree(buffer);
        buffer = nullptr;
    };
    for (float*& b : m_Buffers) release(b);
    for (float*& a : m_Accumulators) release(a);
    release(m_RampUp);
    release(m_RampDown);
    release(m_Scratch);
}

bool CSpeakerMap::Get(int speaker, float* distance, float* angle) const {
    if (speaker >= 0 && speaker < Directions && distance != nullptr && angle != nullptr) {
        *distance = m_Distances[speaker];
        *angle = m_Angles[speaker];
    }
    return true;
}

bool CSpeakerMap::SetPosition(int speaker, float distance, float angle) {
    if (speaker < 0 || speaker >= Speakers) return false;
    if (!std::isfinite(distance) || !std::isfinite(angle)) return false;
    const float g = DistanceGain(distance);
    m_Distances[speaker] = distance;
    m_Angles[speaker] = angle;
    if (speaker == LowFrequencySpeaker) {
        m_LowFrequencyGain = g;
        m_Changed = true;
        return true;
    }
    const float wrapped = WrapDegrees(angle);
    int a = 0, b = 0;
    for (int k = 1; k < Directions; ++k) {
        if (DegreesModulo360(wrapped - FixedDirections[k]) <
            DegreesModulo360(wrapped - FixedDirections[a]))
            a = k;
        if (DegreesModulo360(FixedDirections[k] - wrapped) <
            DegreesModulo360(FixedDirections[b] - wrapped))
            b = k;
    }
    const float e = DegreesModulo360(wrapped - FixedDirections[a]);
    const float f = DegreesModulo360(FixedDirections[b] + e - wrapped);
    float gainA = 1.0f, gainB = ZeroGain;
    if (f > OnDirection) {
        gainA = FastSqrt(1.0f - e / f);
        gainB = FastSqrt(e / f);
    }
    m_NewIndexA[speaker] = a;
    m_NewIndexB[speaker] = b;
    m_NewGainA[speaker] = NonZero(gainA * g);
    m_NewGainB[speaker] = NonZero(gainB * g);
    m_Changed = true;
    return true;
}

void CSpeakerMap::Process(const float* const* input, float* const* output, int frames) {
    if (!IsAllocated() || input == nullptr || output == nullptr) return;
    for (int c = 0; c < Speakers; ++c)
        if (input[c] == nullptr || output[c] == nullptr) return;
    for (int done = 0; done < frames; done += BlockFrames) {
        const int n = std::min(BlockFrames, frames - done);
        for (int s = 0; s < Speakers; ++s)
            sigCopy_32f(input[SpeakerPlanes[s]] + done, m_Buffers[s], n);
        ProcessBlock(n);
        for (int s = 0; s < Speakers; ++s)
            sigCopy_32f(m_Buffers[s], output[SpeakerPlanes[s]] + done, n);
    }
}

void CSpeakerMap::Accumulate(const float* samples, int direction, float gain, const float* ramp,
                             int frames) {
    sigMulConst_32f(samples, gain, m_Scratch, frames);
    if (ramp != nullptr) sigMulInPlace_32f(ramp, m_Scratch, frames);
    sigAddInPlace_32f(m_Scratch, m_Accumulators[direction], frames);
}

void CSpeakerMap::ProcessBlock(int frames) {
    if (!IsAllocated() || frames < 1 || frames > BlockFrames) return;
    for (float* a : m_Accumulators) sigZero_32f(a, frames);
    float* low = m_Buffers[LowFrequencySpeaker];
    if (!m_Changed) {
        for (int s = 0; s < Directions; ++s) {
            Accumulate(m_Buffers[s], m_OldIndexA[s], m_OldGainA[s], nullptr, frames);
            Accumulate(m_Buffers[s], m_OldIndexB[s], m_OldGainB[s], nullptr, frames);
        }
        sigMulConstInPlace_32f(m_LowFrequencyGain, low, frames);
        for (int s = 0; s < Directions; ++s) sigCopy_32f(m_Accumulators[s], m_Buffers[s], frames);
        for (float* b : m_Buffers) b[0] += ZeroGain;
        return;
    }
    for (int j = 0; j < frames; ++j) {
        m_RampUp[j] = static_cast<float>(j) / static_cast<float>(frames);
        m_RampDown[j] = 1.0f - m_RampUp[j];
    }
    for (int s = 0; s < Directions; ++s) {
        Accumulate(m_Buffers[s], m_OldIndexA[s], m_OldGainA[s], m_RampDown, frames);
        Accumulate(m_Buffers[s], m_OldIndexB[s], m_OldGainB[s], m_RampDown, frames);
        Accumulate(m_Buffers[s], m_NewIndexA[s], m_NewGainA[s], m_RampUp, frames);
        Accumulate(m_Buffers[s], m_NewIndexB[s], m_NewGainB[s], m_RampUp, frames);
    }
    for (int j = 0; j < frames; ++j)
        low[j] *= m_PreviousLowFrequencyGain * m_RampDown[j] + m_LowFrequencyGain * m_RampUp[j];
    for (int s = 0; s < Directions; ++s) {
        sigCopy_32f(m_Accumulators[s], m_Buffers[s], frames);
        m_OldIndexA[s] = m_NewIndexA[s];
        m_OldIndexB[s] = m_NewIndexB[s];
        m_OldGainA[s] = m_NewGainA[s];
        m_OldGainB[s] = m_NewGainB[s];
    }
    m_PreviousLowFrequencyGain = m_LowFrequencyGain;
    m_Changed = false;
}
