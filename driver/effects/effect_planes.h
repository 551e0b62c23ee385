// One set of an effect unit's working planes: an array of eight plane
// pointers and behind each a block of MaxDspBlockFrames floats, all in
// non-paged pool under the unit's tag. A unit keeps a dry and a wet set so
// that it can choose, and crossfade, between its input and its effect.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/common/pool_buffer.h"
#include "platform/kernel/pool.h"

#include <cstdint>

class CEffectPlanes {
public:
    CEffectPlanes() = default;
    CEffectPlanes(const CEffectPlanes&) = delete;
    CEffectPlanes& operator=(const CEffectPlanes&) = delete;

    // The array, then each missing block; true when all exist afterwards.
    // What was taken before a refusal stays until Free.
    bool Allocate(kernel::PoolTag tag);
    void Free();
    bool IsComplete() const { return m_bComplete; }
    float* const* Planes() const { return m_Array.Get<float* const>(); }

    // Copies `channels` planes of `frames` floats in and silences the planes
    // above them, so that an effect reading all eight never hears a block
    // it processed before.
    void Load(const float* const* source, std::uint32_t channels, std::uint32_t frames);

private:
    CPoolBuffer m_Array;
    CPoolBuffer m_Blocks[MaxDspChannels];
    bool m_bComplete = false;
};
