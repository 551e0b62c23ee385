// Angles in degrees brought into -180..180 in one step (a remainder, not a
// loop, so any finite angle takes the same time). 180 and -180 stay as they
// are. Callers refuse non-finite angles before they get here.
#pragma once

#include <cmath>

inline float WrapDegrees(float angle) {
    float wrapped = std::fmod(angle, 360.0f); // exact, in (-360, 360)
    if (wrapped > 180.0f) wrapped -= 360.0f;
    if (wrapped < -180.0f) wrapped += 360.0f;
    return wrapped;
}

// The remainder modulo 360 in 0..360, for the distance between two directions.
inline float DegreesModulo360(float angle) {
    float r = std::fmod(angle, 360.0f);
    if (r < 0.0f) r += 360.0f;
    return r >= 360.0f ? 0.0f : r;
}
