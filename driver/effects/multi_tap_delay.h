// The multichannel reverberator: turns a 5.1 or 7.1 block of float planes
// into a stereo room signal in planes 0 and 1. A four-line feedback delay
// network (the late part) and seven sparse early-reflection FIRs are summed
// into each side, which passes a short tone chain and leaves as a 16-bit
// value (a multiple of 2^-15 in -1..32767/32768). Every delay memory lives
// in one circular buffer with one moving position; the coefficient set
// follows the sample rate (reverb_sets.h).
//
// A plain object: SetRate on every format change requests a set and a
// channel configuration (channel count - 1), which the next Process applies
// (clearing the delay memory); configurations other than 5 and 7 feed
// silence, so the room rings out. Reset clears the delay memory. It allocates
// nothing and takes no lock.
#pragma once

#include "driver/common/pool_object.h"
#include "driver/effects/reverb_sets.h"

#include <cstdint>

// The output quantiser: round(32768 x) with halves rounded up, saturated to
// -32768..32767 (x at or above 1 - 2^-16 gives 32767, below -(1 - 2^-16)
// gives -32768); NaN gives 0.
int SaturateQ15(float x);

inline constexpr kernel::PoolTag ReverbTag = kernel::poolTag("DoHP");

class CMultiTapDelay : public CPoolObject {
public:
    static constexpr int Configuration51 = 5;
    static constexpr int Configuration71 = 7;
    static constexpr int MaxConfiguration = 7;

    CMultiTapDelay() { Init(); }
    CMultiTapDelay(const CMultiTapDelay&) = delete;
    CMultiTapDelay& operator=(const CMultiTapDelay&) = delete;

    // The 48 kHz set, configuration 0 (silent input), the memory cleared.
    void Init();
    void SetRate(int rate, int configuration);
    int IsPending() const;
    int IsValid() const;
    // The pending set and configuration when valid, with the memory cleared
    // and the position at the start; otherwise the pending request is dropped.
    void Apply();
    // Applies a valid pending request, then clears the delay memory.
    void Reset();

    // Any number of frames; input and output may be the same planes. Input
    // planes 0..5 (5.1) or 0..7 (7.1) must exist for those configurations,
    // output planes 0 and 1 always.
    void Process(const float* const* input, float* const* output, int frames);

    int CurrentSet() const { return m_CurrentSet; }
    int CurrentConfiguration() const { return m_CurrentConfiguration; }
    int BufferLength() const { return m_BufferLength; }

private:
    struct Layout {
        int lineStart[ReverbLines];
        int highPassStart;
        int firStart[ReverbEarlyFirs];
        int toneStart;
    };
    void UseSet(int number);
    void ClearMemory();
    float& At(int offset);
    float Tone(int start, float input);
    void Frame(const float* in, float* left, float* right);

    int m_CurrentSet = 0;
    int m_CurrentConfiguration = 0;
    int m_PendingSet = 0;
    int m_PendingConfiguration = 0;
    int m_BufferLength = 0;
    int m_Position = 0;
    const ReverbSet* m_pSet = nullptr;
    Layout m_Layout{};
    float m_Memory[ReverbMaxBufferLength] = {};
};
