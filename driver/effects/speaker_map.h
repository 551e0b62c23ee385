// The first stage of the 3D speaker virtualizer: moves each of the seven
// full-range channels to the angle and distance the user gave its speaker.
// A speaker is panned between the two neighbouring fixed directions of a
// seven-direction layout (front left -30, front right 30, back left -150,
// back right 150, front centre 0, side left -100, side right 100 degrees)
// with constant-power gains times a distance gain (30 / distance)^2, at most
// 2.37; the low-frequency channel takes the distance gain alone. A position
// change crossfades the old panning into the new one over the next block.
//
// Speakers are numbered front left, front right, back left, back right, front
// centre, side left, side right (planes 0, 1, 4, 5, 2, 6, 7), and 7 is the
// low-frequency channel (plane 3).
//
// A plain object: Alloc its buffers (the signal primitives' allocator) before
// Process; it allocates nothing while processing and takes no lock.
#pragma once

#include "driver/common/pool_object.h"

#include <cstdint>

class CSpeakerMap : public CPoolObject {
public:
    static constexpr int Directions = 7;
    static constexpr int Speakers = 8;
    static constexpr int LowFrequencySpeaker = 7;
    static constexpr int BlockFrames = 128;
    static constexpr float ReferenceDistance = 30.0f;
    static constexpr float MaxDistanceGain = 2.37f;
    static constexpr float ZeroGain = 1e-12f;

    CSpeakerMap();
    virtual ~CSpeakerMap() { Free(); }
    CSpeakerMap(const CSpeakerMap&) = delete;
    CSpeakerMap& operator=(const CSpeakerMap&) = delete;

    // 1 when every buffer exists; 0, with every buffer freed, when one
    // allocation fails.
    std::uint8_t Alloc();
    void Free();

    // The stored distance and angle of speakers 0..6 (other indices leave the
    // outputs alone); always true.
    bool Get(int speaker, float* distance, float* angle) const;
    // Stores the position (the angle as given, so that the owner can compare
    // its parameters with it) and prepares the new panning for the next
    // block. False, changing nothing, for an index outside 0..7 or a
    // non-finite distance or angle.
    bool SetPosition(int speaker, float distance, float angle);

    // Any number of frames in blocks of at most 128; input and output may be
    // the same planes. Nothing happens before Alloc.
    void Process(const float* const* input, float* const* output, int frames);
    // One block of 1..128 frames in the speaker buffers; other counts do nothing.
    void ProcessBlock(int frames);

    float NewGainA(int speaker) const { return m_NewGainA[speaker]; }
    float NewGainB(int speaker) const { return m_NewGainB[speaker]; }
    int NewIndexA(int speaker) const { return m_NewIndexA[speaker]; }
    int NewIndexB(int speaker) const { return m_NewIndexB[speaker]; }

private:
    bool IsAllocated() const { return m_Scratch != nullptr; }
    void Accumulate(const float* samples, int direction, float gain, const float* ramp, int frames);

    float m_Angles[Speakers];
    float m_Distances[Speakers] = {};
    float* m_Buffers[Speakers] = {};
    float* m_Accumulators[Directions] = {};
    float* m_Scratch = nullptr;
    float* m_RampUp = nullptr;
    float* m_RampDown = nullptr;
    int m_OldIndexA[Directions], m_OldIndexB[Directions];
    int m_NewIndexA[Directions], m_NewIndexB[Directions];
    float m_OldGainA[Directions], m_OldGainB[Directions];
    float m_NewGainA[Directions], m_NewGainB[Directions];
    float m_LowFrequencyGain = 1.0f;
    float m_PreviousLowFrequencyGain = 1.0f;
    bool m_Changed = false;
};
