// The multichannel reverberator: turns a 5.1 or 7.1 block of float planes
// into a stereo room signal in planes 0 and 1. A four-line feedback delay
// network (the late part) and seven sparse early-reflection FIRs are summed
// into each side, which passes a short tone chain and leaves as a 16-bit
// value (a multiple of 2^-15 in -1..32767/32768). The coefficient set
// follows the sample rate (reverb_sets.h).
//
// The network is rendered a run of frames at a time: no line is shorter
// than the run, so the lines' outputs, the early FIRs and the tone chains
// are computed for the whole run, several frames side by side, and only the
// high-pass sections recur frame by frame. Every output is the same float
// arithmetic, in the same order, as the network computed one frame at a time.
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
    // The longest run rendered at once; a set whose shortest line is shorter
    // renders shorter runs.
    static constexpr int RunFrames = 256;
    // Room behind each history for this many frames before it slides back.
    static constexpr int WindowSlack = 2 * RunFrames;
    static constexpr int Windows = ReverbLines + ReverbEarlyFirs;
    // The histories of a set (its lines and early FIRs) take less than its
    // buffer length, which ReverbMaxBufferLength bounds.
    static constexpr int MemoryLength = ReverbMaxBufferLength + Windows * WindowSlack;
    static constexpr int ToneSides = 2;

    // One delay memory: the last `history` values, then room for new ones.
    struct Window {
        int start;
        int history;
        int write;
    };
    struct HighPassState {
        float x1[ReverbLines], x2[ReverbLines], y1[ReverbLines], y2[ReverbLines];
    };

    void UseSet(int number);
    void ClearMemory();
    // Where this run's values go, the history right before them.
    float* RunStart(Window& window, int frames);
    void RenderRun(const float* const* input, float* left, float* right, int frames);
    void LinesOut(int frames);
    void NetworkInputs(const float* const* in, int frames);
    void HighPassAndFeedback(int frames);
    void EarlyFirs(int frames);
    void ToneAndQuantise(int side, float* out, int frames);

    int m_CurrentSet = 0;
    int m_CurrentConfiguration = 0;
    int m_PendingSet = 0;
    int m_PendingConfiguration = 0;
    int m_BufferLength = 0;
    int m_RunLimit = RunFrames;
    const ReverbSet* m_pSet = nullptr;
    Window m_Lines[ReverbLines] = {};
    Window m_Firs[ReverbEarlyFirs] = {};
    HighPassState m_HighPass = {};
    float m_ToneHistory[ToneSides][ReverbToneStages][2] = {};
    float m_Memory[MemoryLength] = {};
    // Per run: the lines' outputs, their inputs (then the nodes), the sums
    // per side as they pass the tone stages.
    float m_LineOut[ReverbLines][RunFrames] = {};
    float m_Node[ReverbLines][RunFrames] = {};
    float m_Tone[ToneSides][2][RunFrames + 2] = {};
};
