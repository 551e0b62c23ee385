#include "driver/effects/effect_block.h"

#include "driver/effects/channel_mixer.h"
#include "sigproc/sigproc.h"

bool IsEffectBlock(const EffectBlock& block) {
    if (block.planes == nullptr || block.channels == 0 || block.channels > MaxDspChannels ||
        block.frames == 0 || block.frames > MaxDspBlockFrames)
        return false;
    for (std::uint32_t plane = 0; plane < block.channels; ++plane)
        if (block.planes[plane] == nullptr) return false;
    return true;
}

void LoadEffectBlock(const EffectBlock& block, CEffectPlanes& dry, CEffectPlanes& wet) {
    dry.Load(block.planes, block.channels, block.frames);
    wet.Load(block.planes, block.channels, block.frames);
    MixChannels(dry.Planes(), block.channels, 2, block.frames, 1);
}

namespace {

// One plane's half of the switch.
void FadePlane(EffectFade fade, float* out, const float* dry, std::uint32_t f,
               std::uint32_t frames) {
    const std::uint32_t half = 2 * f;
    const float length = static_cast<float>(half - 1);
    for (std::uint32_t i = 0; i < frames; ++i) {
        if (i < half) {
            const float ratio = static_cast<float>(i) / length;
            const float old = fade == EffectFade::toWet ? dry[i] : out[i];
            out[i] = (1.0f - ratio) * old;
        } else if (i < 2 * half) {
            const float ratio = static_cast<float>(i - half) / length;
            const float now = fade == EffectFade::toWet ? out[i] : dry[i];
            out[i] = ratio * now;
        } else {
            if (fade == EffectFade::toWet) return;
            out[i] = dry[i];
        }
    }
}

} // namespace

void FadeEffectPlanes(EffectFade fade, float* const* out, const float* const* dry,
                      std::uint32_t rate, std::uint32_t frames) {
    const std::uint32_t f = rate / 1000;
    // Below 1 kHz a fade has no length; the set is switched at once.
    if (f == 0 || (fade != EffectFade::toWet && fade != EffectFade::toDry)) return;
    for (std::uint32_t plane = 0; plane < 2; ++plane)
        FadePlane(fade, out[plane], dry[plane], f, frames);
}

void StoreEffectBlock(const EffectBlock& block, const CEffectPlanes& dry, const CEffectPlanes& wet,
                      bool useWet, float gain, EffectFade fade, std::uint32_t rate) {
    float* const* out = useWet ? wet.Planes() : dry.Planes();
    const int frames = static_cast<int>(block.frames);
    if (gain != 1.0f)
        for (std::uint32_t plane = 0; plane < block.channels; ++plane)
            sigMulConstInPlace_32f(gain, out[plane], frames);
    FadeEffectPlanes(fade, out, dry.Planes(), rate, block.frames);
    for (std::uint32_t plane = 0; plane < block.channels; ++plane)
        sigCopy_32f(out[plane], block.planes[plane], frames);
}
