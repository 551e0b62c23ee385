// Eight float planes of seeded noise for the effect tests, and the plane
// pointers an effect takes.
#pragma once

#include <cstdint>
#include <vector>

using TestPlanes = std::vector<std::vector<float>>;

// Uniform noise in [-scale, scale), the same for the same seed.
inline TestPlanes NoisePlanes(int frames, std::uint32_t seed, float scale = 0.5f) {
    TestPlanes planes(8, std::vector<float>(frames));
    for (auto& plane : planes)
        for (float& s : plane) {
            seed = seed * 1103515245u + 12345u;
            s = scale * static_cast<float>(static_cast<std::int32_t>(seed)) / 2147483648.0f;
        }
    return planes;
}

// The planes' samples from `offset` on.
inline std::vector<float*> PlanePointers(TestPlanes& planes, int offset = 0) {
    std::vector<float*> p;
    for (auto& plane : planes) p.push_back(plane.data() + offset);
    return p;
}
