// Sizes of a real-FFT specification, computed in 64 bits so that orders whose
// sizes the 32-bit size words cannot carry are refused rather than wrapped.
#pragma once

#include <cstdint>

struct sigFftSizes {
    std::int64_t specBytes; // record, tables and 128 bytes for the header and pointer rounding
    std::int64_t initBytes; // sine table and split scratch, needed only while building
    std::int64_t workBytes; // one work buffer with 32 bytes of rounding slack, or 0
};

// Sizes of an order 0..30.
sigFftSizes sigFftSizesOf(int order);

// An order whose specification can be built: 0..30 with every size within 32 bits.
bool sigFftOrderBuildable(int order);

// One of sigFftScaleFwd, sigFftScaleInv, sigFftScaleBothSqrt, sigFftScaleNone.
bool sigFftFlagValid(int flag);
