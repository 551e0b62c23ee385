// Renders eight loudspeaker planes to two ears: every channel but the low-
// frequency one (plane 3) passes through a left-ear and a right-ear 25-tap
// filter, each ear delayed by a whole number of samples (at most 40), and the
// channels are summed with a Q10 gain each into plane 0 (left ear) and plane 1
// (right ear). The low-frequency plane joins each ear at half its Q10 gain
// (when that ear's flag is set) and keeps its own samples; planes 2 and 4 to 7
// are cleared. Both ears are scaled by 1.1875.
//
// A plain object: the owner creates it in non-paged pool, calls Init (one
// block under tag "RP3D"), Load per channel, Process per block, Free and
// delete. It allocates nothing while processing and takes no lock.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/common/pool_object.h"
#include "driver/effects/hrtf_tables.h"

#include <cstddef>
#include <cstdint>

inline constexpr kernel::PoolTag HrtfBlockTag = kernel::poolTag("RP3D");

class CHrtfFilterSet : public CPoolObject {
public:
    static constexpr int Channels = 8;
    static constexpr int LowFrequencyChannel = 3;
    static constexpr int ChunkFrames = 64;
    static constexpr int MaxDelay = 40;
    static constexpr float OutputScale = 1.1875f;

    CHrtfFilterSet() = default;
    CHrtfFilterSet(const CHrtfFilterSet&) = delete;
    CHrtfFilterSet& operator=(const CHrtfFilterSet&) = delete;

    // Allocates and clears the block once: histories silent, taps zero, both
    // low-frequency flags set. Only 8 channels are supported; false for any
    // other count or when the pool refuses the block.
    bool Init(int channels);
    // The block for that many channels: 4096 bytes of scratch, then per
    // channel 1804 bytes (three 104-float output areas, the left, the right
    // and a copy of the input that nothing reads; an 89-float input area;
    // two 25-float tap arrays).
    static std::size_t BlockBytes(int channels);
    void Free();
    bool IsInitialised() const { return m_Block.IsValid(); }

    // Loads a channel's filters (row 0..7): for every row but the low-
    // frequency one the pairs' taps (times 2^-15) and delays (low byte,
    // clamped to 40), when both pairs are given; for every row the azimuth,
    // elevation and gain, and the Q10 gain trunc(1024 x gain), saturated to
    // 16 bits (NaN gives 0).
    void Load(int row, float azimuth, float elevation, float gain, const HrtfPair* left,
              const HrtfPair* right);

    // Any number of frames, in chunks of at most 64; input and output may be
    // the same planes. Nothing happens before Init.
    void Process(const float* const* input, float* const* output, int frames);

    // Input and output histories back to silence; filters and gains kept.
    void ClearHistory();

    float Gain(int row) const { return m_Gains[row]; }
    std::int16_t GainQ10(int row) const { return m_GainsQ10[row]; }
    std::uint8_t LeftDelay(int row) const { return m_LeftDelays[row]; }
    std::uint8_t RightDelay(int row) const { return m_RightDelays[row]; }
    const float* LeftTaps(int row) const { return m_LeftTaps[row]; }
    const float* RightTaps(int row) const { return m_RightTaps[row]; }

private:
    void ProcessChunk(const float* const* input, float* const* output, int frames);

    CPoolBuffer m_Block;
    bool m_LowFrequencyToLeft = false;
    bool m_LowFrequencyToRight = false;
    float* m_InputHistory[Channels] = {};
    float* m_LeftOutput[Channels] = {};
    float* m_RightOutput[Channels] = {};
    float* m_LeftTaps[Channels] = {};
    float* m_RightTaps[Channels] = {};
    std::uint8_t m_LeftDelays[Channels] = {};
    std::uint8_t m_RightDelays[Channels] = {};
    float m_Azimuths[Channels] = {};
    float m_Elevations[Channels] = {};
    float m_Gains[Channels] = {};
    std::int16_t m_GainsQ10[Channels] = {};
};
