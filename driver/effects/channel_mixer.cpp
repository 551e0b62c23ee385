#include "driver/effects/channel_mixer.h"

namespace {

// The sums are formed in extended precision and rounded once when stored.
using Wide = long double;

void FoldQuad(float* const* p, std::uint32_t frames) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        const Wide left = Wide(p[0][i]) + Wide(p[2][i]);
        const Wide right = Wide(p[1][i]) + Wide(p[3][i]);
        p[0][i] = static_cast<float>(left);
        p[1][i] = static_cast<float>(right);
    }
}

// 5.1, and 7.1 when the side pair is there.
void FoldSurround(float* const* p, std::uint32_t frames, bool sides) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        const Wide centre = Wide(MixCentreGain) * Wide(p[2][i]);
        Wide left = Wide(p[0][i]) + centre + Wide(p[3][i]) + Wide(p[4][i]);
        Wide right = Wide(p[1][i]) + centre + Wide(p[3][i]) + Wide(p[5][i]);
        if (sides) {
            left += Wide(p[6][i]);
            right += Wide(p[7][i]);
        }
        p[0][i] = static_cast<float>(left);
        p[1][i] = static_cast<float>(right);
    }
}

} // namespace

void MixChannels(float* const* planes, std::uint32_t inputChannels, std::uint32_t outputChannels,
                 std::uint32_t frames, std::uint8_t plain) {
    if (planes == nullptr || frames == 0 || outputChannels != 2 || plain == 0) return;
    switch (inputChannels) {
    case 4:
        FoldQuad(planes, frames);
        break;
    case 6:
        FoldSurround(planes, frames, false);
        break;
    case 8:
        FoldSurround(planes, frames, true);
        break;
    default:
        break;
    }
}
