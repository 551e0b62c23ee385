// Float planes for the effect tests: seeded noise, silence, the plane
// pointers an effect takes, and a stream cut into calls of random length.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using TestPlanes = std::vector<std::vector<float>>;

// Uniform noise in [-scale, scale), the same for the same seed.
inline TestPlanes NoisePlanes(int frames, std::uint32_t seed, float scale = 0.5f, int count = 8) {
    TestPlanes planes(count, std::vector<float>(frames));
    for (auto& plane : planes)
        for (float& s : plane) {
            seed = seed * 1103515245u + 12345u;
            s = scale * static_cast<float>(static_cast<std::int32_t>(seed)) / 2147483648.0f;
        }
    return planes;
}

// Eight planes holding one value.
inline TestPlanes SilentPlanes(int frames, float value = 0.0f) {
    return TestPlanes(8, std::vector<float>(frames, value));
}

// True when every sample is finite and none is subnormal.
inline bool AllFiniteAndNormal(const TestPlanes& planes) {
    for (const auto& plane : planes)
        for (float s : plane)
            if (!std::isfinite(s) || std::fpclassify(s) == FP_SUBNORMAL) return false;
    return true;
}

// The planes' samples from `offset` on.
inline std::vector<float*> PlanePointers(TestPlanes& planes, int offset = 0) {
    std::vector<float*> p;
    for (auto& plane : planes) p.push_back(plane.data() + offset);
    return p;
}

// Calls process(offset, length) over `frames` frames in pieces of 1 to
// `longest` frames, the same for the same seed.
template <typename Process>
void InRandomPieces(int frames, std::uint32_t seed, int longest, Process process) {
    for (int done = 0; done < frames;) {
        seed = seed * 1664525u + 1013904223u;
        const int n = std::min<int>(1 + static_cast<int>((seed >> 16) % longest), frames - done);
        process(done, n);
        done += n;
    }
}
