// The processing skeleton of the effect units, around the unit's own
// effect: the block is copied into a dry and a wet set, the dry set folded
// to stereo; after the effect one set is chosen, crossfaded on planes 0 and
// 1 when the on/off value has just changed, and copied back. The caller
// holds the unit's lock over both halves and runs its effect in between.
#pragma once

#include "driver/effects/effect_planes.h"
#include "driver/effects/effect_switch.h"

#include <cstdint>

// The caller's block: float planes, 1 to MaxDspChannels of them, and at most
// MaxDspBlockFrames frames.
struct EffectBlock {
    float* const* planes;
    std::uint32_t channels;
    std::uint32_t frames;
};

// Whether a block can be taken into the planes at all.
bool IsEffectBlock(const EffectBlock& block);

void LoadEffectBlock(const EffectBlock& block, CEffectPlanes& dry, CEffectPlanes& wet);

// After the effect: the wet or the dry set, scaled by gain when it is not 1,
// faded as the state says, back into the caller's planes.
void StoreEffectBlock(const EffectBlock& block, const CEffectPlanes& dry, const CEffectPlanes& wet,
                      bool useWet, float gain, EffectFade fade, std::uint32_t rate);

// The switch on planes 0 and 1 of `out`: the old signal fades out over 2f
// frames, then the new one fades in over the next 2f (f = rate / 1000, so
// 2 ms each), within this block; a shorter block cuts the fade short. Going
// to wet, the old signal is the dry set; going to dry, it is `out` itself.
void FadeEffectPlanes(EffectFade fade, float* const* out, const float* const* dry,
                      std::uint32_t rate, std::uint32_t frames);
