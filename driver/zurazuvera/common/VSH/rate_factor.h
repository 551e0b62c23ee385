// How a stream rate meets the internal rate of the block process: the
// direction and the integer factor, and whether the converter supports it.
#pragma once

struct RateFactor {
    int mode = 0;   // 1 stream above the internal rate, -1 below, 0 equal
    int factor = 1; // integer ratio, rounded down
};

// 1 when the rates are positive and their factor has a converter (1 or 2).
int ComputeRateFactor(int streamRate, int innerRate, RateFactor* result);
